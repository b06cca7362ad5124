#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace velmaro {

UniqueFd OpenRegularFile(const std::string& path) {
    // Non-blocking only for the open itself: opening a FIFO for reading waits for a writer.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        return fd;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        return UniqueFd();
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return UniqueFd();
    }
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return UniqueFd();
    }
    return fd;
}

}  // namespace velmaro
