#include "sim/AtomicFile.h"

#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cvl::sim {

namespace {
std::string failure(const std::string& path) { return path + ": " + std::strerror(errno); }
}  // namespace

ReadResult readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                         std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return ReadResult::Missing;
        error = failure(path);
        return ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + ": not a regular file";
        return ReadResult::Failed;
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        error = path + ": larger than the " + std::to_string(maxBytes) + " bytes expected";
        return ReadResult::Failed;
    }
    bytes.assign(static_cast<std::size_t>(st.st_size), 0);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got != bytes.size()) {
        error = path + ": read failed";
        return ReadResult::Failed;
    }
    return ReadResult::Read;
}

bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
    return cvl::writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                    error);
}

FileClaim::~FileClaim() {
    if (fd_ < 0) return;
    ::unlink(lockPath_.c_str());
    ::close(fd_);
}

bool FileClaim::claim(const std::string& path, std::string& error) {
    lockPath_ = path + ".lock";
    fd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        error = failure(lockPath_);
        return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
        error = path + ": in use by another emulator";
        return false;
    }
    return true;
}

}  // namespace cvl::sim
