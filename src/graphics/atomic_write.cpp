#include "graphics/atomic_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vx {

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data,
                         std::string* error) {
    std::string temp = path + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    auto fail = [&](const char* step) {
        int code = errno;
        if (error)
            *error = path + ": " + step + ": " + std::strerror(code);
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.c_str());
        return false;
    };
    if (fd < 0) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail("write");
        }
        done += size_t(n);
    }
    // mkstemp creates the file readable by its owner only; give it the usual permissions.
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0)
        return fail("chmod");
    if (::fsync(fd) != 0)
        return fail("flush");
    int closing = fd;
    fd = -1;
    if (::close(closing) != 0)
        return fail("close");
    if (::rename(temp.c_str(), path.c_str()) != 0)
        return fail("rename");
    return true;
}

}  // namespace vx
