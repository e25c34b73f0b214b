#include "foundation/file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vx {

FileError::FileError(std::string path, int error)
    : std::runtime_error(std::strerror(error)), path_(std::move(path)), error_(error) {}

CFile::~CFile() {
    Close();
}

bool CFile::Open(const std::string& path, Mode mode, FileError* error) {
    Close();
    int flags = mode == modeRead ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error)
            *error = FileError(path, errno);
        return false;
    }
    struct stat st;
    if (mode == modeRead && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = FileError(path, EISDIR);
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

void CFile::OpenOrRaise(const std::string& path, Mode mode) {
    FileError error(path, 0);
    if (!Open(path, mode, &error))
        throw error;
}

void CFile::Raise() const {
    throw FileError(path_, errno);
}

uint64_t CFile::GetLength() const {
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        Raise();
    return uint64_t(st.st_size);
}

uint64_t CFile::GetPosition() const {
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0)
        Raise();
    return uint64_t(pos);
}

uint64_t CFile::Seek(int64_t offset, Origin origin) {
    static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t pos = ::lseek(fd_, off_t(offset), whence[origin]);
    if (pos < 0)
        Raise();
    return uint64_t(pos);
}

size_t CFile::Read(void* buffer, size_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Raise();
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return done;
}

void CFile::Write(const void* buffer, size_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        ssize_t n = ::write(fd_, p, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Raise();
        }
        p += n;
        count -= size_t(n);
    }
}

void CFile::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

CMappedFile::~CMappedFile() {
    Unmap();
}

bool CMappedFile::Map(const CFile& file) {
    Unmap();
    if (!file.IsOpen())
        return false;
    const uint64_t size = file.GetLength();
    if (size == 0)
        return false;
    void* data = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, file.Descriptor(), 0);
    if (data == MAP_FAILED)
        return false;
    ::madvise(data, size_t(size), MADV_SEQUENTIAL);
    data_ = static_cast<const uint8_t*>(data);
    size_ = size;
    return true;
}

void CMappedFile::Release(const uint8_t* from, uint64_t size) {
    const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    const uintptr_t start = uintptr_t(from) & ~(page - 1);
    const uintptr_t end = uintptr_t(from) + size;
    if (data_ != nullptr && end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

void CMappedFile::Unmap() {
    if (data_ != nullptr)
        ::munmap(const_cast<uint8_t*>(data_), size_t(size_));
    data_ = nullptr;
    size_ = 0;
}

CAtomicFile::~CAtomicFile() {
    Discard();
}

void CAtomicFile::Open(const std::string& path) {
    Discard();
    std::string pattern = path + ".XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw FileError(path, errno);
    ::fchmod(fd, 0644);
    fd_ = fd;
    path_ = path;
    temporary_ = pattern;
    written_ = 0;
}

void CAtomicFile::Write(const void* buffer, size_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        ssize_t n = ::write(fd_, p, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileError(path_, errno);
        }
        p += n;
        count -= size_t(n);
        written_ += uint64_t(n);
    }
}

void CAtomicFile::Commit() {
    if (::close(fd_) != 0) {
        int error = errno;
        fd_ = -1;
        Discard();
        throw FileError(path_, error);
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        int error = errno;
        Discard();
        throw FileError(path_, error);
    }
    temporary_.clear();
}

void CAtomicFile::Discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

void WriteWholeFileAtomic(const std::string& path, const std::vector<uint8_t>& data) {
    CAtomicFile file;
    file.Open(path);
    file.Write(data.data(), data.size());
    file.Commit();
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    CFile file;
    file.OpenOrRaise(path, CFile::modeRead);
    std::vector<uint8_t> data(file.GetLength());
    data.resize(file.Read(data.data(), data.size()));
    return data;
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data) {
    CFile file;
    file.OpenOrRaise(path, CFile::modeWrite);
    file.Write(data.data(), data.size());
}

bool CopyFileOverwrite(const std::string& from, const std::string& to, FileError* error) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec && error)
        *error = FileError(ec.value() == ENOENT ? from : to, ec.value());
    return !ec;
}

bool DeleteFile(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0)
        return true;
    return errno == EEXIST && FolderExists(path);
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    // Iterative matcher with single-star backtracking.
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<FolderEntry> EnumerateFolder(const std::string& pattern) {
    std::string folder = PathFolder(pattern);
    std::string namePattern = PathFileName(pattern);
    // "*.*" is the traditional spelling of "every entry", with or without an extension.
    if (namePattern == "*.*")
        namePattern = "*";
    std::vector<FolderEntry> entries;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder.empty() ? "." : folder, ec)) {
        std::string name = e.path().filename().string();
        if (!WildcardMatch(namePattern, name))
            continue;
        std::error_code typeError;
        entries.push_back({name, e.is_directory(typeError)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

std::string TempFolder() {
    std::error_code ec;
    auto p = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : p.string();
}

std::string PathFileName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathFolder(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string PathExtension(const std::string& path) {
    std::string name = PathFileName(path);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string WithTrailingSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + '/';
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace vx
