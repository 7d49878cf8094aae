#include "common/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cvl {

std::FILE* openPrivateOutput(const std::string& path, std::string& error) {
    // Non-blocking so that a FIFO without a reader fails at once instead of
    // waiting for one.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + (errno == ELOOP ? std::string("is a symbolic link") : std::strerror(errno));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + ": not a regular file";
        return nullptr;
    }
    ::fchmod(fd, st.st_mode & 0600);  // an existing file is made private too
    if (::ftruncate(fd, 0) != 0 || ::fcntl(fd, F_SETFL, 0) != 0) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IOLBF, 0);  // every finished line reaches the file at once
    return file;
}

bool closePrivateOutput(std::FILE* file, const std::string& path, std::string& error) {
    if (file == nullptr) return true;
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0 && ::fsync(::fileno(file)) == 0;
    const int saved = errno;
    const bool closed = std::fclose(file) == 0;
    if (flushed && closed) return true;
    error = path + ": writing failed: " + std::strerror(flushed ? errno : saved);
    return false;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool written = done == bytes.size() && ::fsync(fd) == 0;
    if (!written) error = temp + ": " + std::strerror(errno);
    ::close(fd);
    if (written && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    if (written) error = path + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
}

}  // namespace cvl
