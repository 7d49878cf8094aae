#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cvl {

AppendFile::~AppendFile() {
    if (isOpen()) ::close(static_cast<int>(handle_));
}

bool AppendFile::open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + (errno == ELOOP ? std::string("is a symbolic link") : std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, O_APPEND) != 0) {
        error = path + ": not a regular file";
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

bool AppendFile::append(const std::string& text, std::string& error) {
    const int fd = static_cast<int>(handle_);
    ::flock(fd, LOCK_EX);
    const off_t before = ::lseek(fd, 0, SEEK_END);
    const ssize_t n = ::write(fd, text.data(), text.size());
    const bool ok = n == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    if (!ok) {
        error = std::strerror(n < 0 ? errno : ENOSPC);
        if (before >= 0 && ::ftruncate(fd, before) == 0) {
            error += ": the line was not written, and the file ends with its last full line";
        } else {
            error += ": the file may end with a part of a line";
        }
    }
    ::flock(fd, LOCK_UN);
    return ok;
}

bool AppendFile::drain(const std::function<bool(const std::vector<std::string>&, std::string&)>& store,
                       std::string& error) {
    const int fd = static_cast<int>(handle_);
    ::flock(fd, LOCK_EX);
    std::string text;
    char buffer[8192];
    ssize_t n = 0;
    for (off_t at = 0; (n = ::pread(fd, buffer, sizeof buffer, at)) > 0; at += n) text.append(buffer, std::size_t(n));
    std::vector<std::string> lines;
    for (std::size_t at = 0, end = 0; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));  // a part line after the last line end is a write cut short
    }
    bool ok = n == 0;
    if (!ok) error = std::strerror(errno);
    if (ok && !lines.empty()) ok = store(lines, error);
    if (ok && !text.empty() && (::ftruncate(fd, 0) != 0 || ::fsync(fd) != 0)) {
        error = std::strerror(errno);
        ok = false;
    }
    ::flock(fd, LOCK_UN);
    return ok;
}

}  // namespace cvl
