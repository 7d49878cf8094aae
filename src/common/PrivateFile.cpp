#include "common/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
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

namespace {
// Blocks the signals that end the program for as long as it lives, so a
// temporary file is always renamed or removed before the program ends.
class InterruptsHeld {
public:
    InterruptsHeld() {
        sigset_t stop;
        sigemptyset(&stop);
        sigaddset(&stop, SIGINT);
        sigaddset(&stop, SIGTERM);
        sigaddset(&stop, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &stop, &old_);
    }
    ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t old_;
};

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The folder holding path, synced so that a rename into it survives a power cut.
void syncFolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error, bool keepMode) {
    struct stat old {};
    const bool exists = ::lstat(path.c_str(), &old) == 0;
    if (exists && S_ISLNK(old.st_mode)) return error = path + ": is a symbolic link: not replaced", false;
    if (exists && !S_ISREG(old.st_mode)) return error = path + ": not a regular file: not replaced", false;
    if (exists && (::access(path.c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0)) {
        return error = path + ": is read-only: not replaced", false;
    }
    const InterruptsHeld held;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    bool written =
        writeAll(fd, bytes) && (!exists || !keepMode || ::fchmod(fd, old.st_mode & 07777) == 0) && ::fsync(fd) == 0;
    if (!written) error = temp + ": " + std::strerror(errno);
    ::close(fd);
    if (written && ::rename(temp.c_str(), path.c_str()) == 0) {
        syncFolderOf(path);
        return true;
    }
    if (written) error = path + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace cvl
