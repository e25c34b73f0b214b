#pragma once
// The seekable file through which every database and stream file is read and written, and the
// few file-system operations the system needs beyond it.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx {

// A failed file operation: the path and the system's description of the cause (strerror).
class FileError : public std::runtime_error {
public:
    FileError(std::string path, int error);
    const std::string& Path() const { return path_; }
    int Error() const { return error_; }
    // The system's description of the failure, as shown to the user.
    std::string Description() const { return what(); }

private:
    std::string path_;
    int error_;
};

class CFile {
public:
    enum Mode { modeRead, modeWrite };
    enum Origin { begin = 0, current = 1, end = 2 };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Reading opens an existing file (other readers and writers may share it); writing creates
    // or truncates. On failure returns false and, when error is given, stores the cause there.
    bool Open(const std::string& path, Mode mode, FileError* error = nullptr);
    // The same, raising FileError on failure.
    void OpenOrRaise(const std::string& path, Mode mode);
    bool IsOpen() const { return fd_ >= 0; }
    uint64_t GetLength() const;
    uint64_t GetPosition() const;
    uint64_t Seek(int64_t offset, Origin origin);
    // Returns the count read, short at end of file. Raises FileError on a read failure.
    size_t Read(void* buffer, size_t count);
    // Writes everything or raises FileError.
    void Write(const void* buffer, size_t count);
    const std::string& GetFilePath() const { return path_; }
    void Close();
    // The open file's descriptor (-1 when closed), for mapping it into memory.
    int Descriptor() const { return fd_; }

private:
    [[noreturn]] void Raise() const;

    int fd_ = -1;
    std::string path_;
};

// A whole file mapped read-only into memory: reading it then costs no copy. Map fails (and the
// caller reads the file instead) when the file is empty or cannot be mapped.
class CMappedFile {
public:
    CMappedFile() = default;
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    bool Map(const CFile& file);
    void Unmap();
    // Lets go of the pages of a part already read: they leave the process's memory and are
    // read again from the file if touched.
    void Release(const uint8_t* from, uint64_t size);
    bool IsMapped() const { return data_ != nullptr; }
    const uint8_t* Data() const { return data_; }
    uint64_t Size() const { return size_; }

private:
    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
};

// A file written under a temporary name in its final folder and renamed to its final name only
// when Commit succeeds, so that the final name never shows a partial file. Destroyed without a
// Commit, it removes the temporary file. Write and Commit raise FileError.
class CAtomicFile {
public:
    CAtomicFile() = default;
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file beside path; raises FileError when it cannot be.
    void Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }
    void Write(const void* buffer, size_t count);
    uint64_t GetLength() const { return written_; }
    // Closes the temporary file and renames it to the final path.
    void Commit();
    // Removes the temporary file (nothing appears under the final name).
    void Discard();
    const std::string& GetFilePath() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
    std::string temporary_;
    uint64_t written_ = 0;
};

// Writes data to path through a CAtomicFile; raises FileError.
void WriteWholeFileAtomic(const std::string& path, const std::vector<uint8_t>& data);

// Reads a whole file; raises FileError when it cannot be opened or read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
// Creates or truncates path and writes data with one write; raises FileError.
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data);

bool CopyFileOverwrite(const std::string& from, const std::string& to, FileError* error = nullptr);
bool DeleteFile(const std::string& path);
// Creates one folder; true when it exists afterwards.
bool CreateFolder(const std::string& path);
bool FolderExists(const std::string& path);
bool FileExists(const std::string& path);

struct FolderEntry {
    std::string name;
    bool isFolder = false;
};
// Entries of a folder whose names match a wildcard pattern ('*' and '?'); the pattern is the
// folder path followed by the name pattern, for example "/disc/BDMV/PLAYLIST/*.mpls". Name
// matching ignores letter case, as on the disc's native file system. "." and ".." are left out.
std::vector<FolderEntry> EnumerateFolder(const std::string& pattern);
bool WildcardMatch(const std::string& pattern, const std::string& name);

std::string TempFolder();
// The extension without its dot ("mpls"), empty when there is none.
std::string PathExtension(const std::string& path);
// The last component of the path.
std::string PathFileName(const std::string& path);
// The path without its last component and separator.
std::string PathFolder(const std::string& path);
// The folder path completed with a trailing '/' when it lacks one (empty stays empty).
std::string WithTrailingSeparator(const std::string& folder);
bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace vx
