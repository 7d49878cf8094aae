#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/Interrupts.h"

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

bool syncOutput(std::FILE* file) { return std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0; }

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
    const std::string folder = folderOf(path);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Whether path may be replaced by a new file: nothing there, or a regular
// file (not a link) this user may write. old receives what is there.
bool mayReplace(const std::string& path, struct stat& old, bool& exists, std::string& error) {
    exists = ::lstat(path.c_str(), &old) == 0;
    if (exists && S_ISLNK(old.st_mode)) return error = path + ": is a symbolic link: not replaced", false;
    if (exists && !S_ISREG(old.st_mode)) return error = path + ": not a regular file: not replaced", false;
    if (exists && (::access(path.c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0)) {
        return error = path + ": is read-only: not replaced", false;
    }
    return true;
}
}  // namespace

StagedOutput::~StagedOutput() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    ::unlink(temp_.c_str());
}

bool StagedOutput::open(const std::string& path, std::string& error) {
    struct stat old {};
    bool exists = false;
    if (!mayReplace(path, old, exists, error)) return false;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) return error = path + ": " + std::strerror(errno), false;
    file_ = ::fdopen(fd, "w");
    if (file_ == nullptr) {
        error = path + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    std::setvbuf(file_, nullptr, _IOLBF, 0);
    path_ = path;
    temp_ = std::move(temp);
    return true;
}

bool StagedOutput::commit(std::string& error) {
    if (file_ == nullptr) return true;
    std::FILE* file = std::exchange(file_, nullptr);
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0 && ::fsync(::fileno(file)) == 0;
    const int saved = errno;
    const bool closed = std::fclose(file) == 0;
    if (flushed && closed && ::rename(temp_.c_str(), path_.c_str()) == 0) {
        syncFolderOf(path_);
        return true;
    }
    error = path_ + ": writing failed: " + std::strerror(flushed ? errno : saved);
    ::unlink(temp_.c_str());
    return false;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error, bool keepMode) {
    struct stat old {};
    bool exists = false;
    if (!mayReplace(path, old, exists, error)) return false;
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

ReadFileResult readRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        return ReadFileResult::NotRegular;
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return ReadFileResult::TooLarge;
    }
    bytes.assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return ReadFileResult::Failed;
        }
        if (n == 0) break;  // cut short meanwhile: what is there
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    ::close(fd);
    return ReadFileResult::Ok;
}

FileFacts fileFacts(const std::string& path) {
    FileFacts facts;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return facts;
    facts.exists = true;
    facts.link = S_ISLNK(st.st_mode);
    facts.regular = S_ISREG(st.st_mode);
    facts.names = st.st_nlink;
    facts.readWrite = ::access(path.c_str(), R_OK | W_OK) == 0 && (st.st_mode & 0222) != 0;
    facts.size = static_cast<std::uint64_t>(st.st_size);
    facts.othersOwn = st.st_uid != ::geteuid();
    // A sticky folder still lets others make files in it.
    facts.othersWrite = (st.st_mode & 0022) != 0;
    return facts;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string realPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    const std::string out = resolved != nullptr ? resolved : path;
    std::free(resolved);
    return out;
}

namespace {
// Moves from to to only where nothing is, in one step: no moment where the
// file has two names (another process checking its link count would refuse
// it). Where the file system cannot, a hard link made where nothing is, then
// the old name removed.
bool renameIfAbsent(const std::string& from, const std::string& to, bool& exists, std::string& error) {
#if defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) {
        exists = errno == EEXIST;
        return error = to + ": " + std::strerror(errno), false;
    }
#endif
    if (::link(from.c_str(), to.c_str()) != 0) {
        exists = errno == EEXIST;
        return error = to + ": " + std::strerror(errno), false;
    }
    ::unlink(from.c_str());
    return true;
}
}  // namespace

bool moveFile(const std::string& from, const std::string& to, bool replace, bool& exists, std::string& error) {
    exists = false;
    if (replace) {
        if (::rename(from.c_str(), to.c_str()) != 0) return error = to + ": " + std::strerror(errno), false;
    } else if (!renameIfAbsent(from, to, exists, error)) {
        return false;
    }
    syncFolderOf(to);
    return true;
}

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string inFolder(const std::string& folder, const std::string& name) { return folder + "/" + name; }

FileLock::~FileLock() {
    if (handle_ < 0) return;
    ::unlink(path_.c_str());
    ::close(static_cast<int>(handle_));
}

bool FileLock::lock(const std::string& path, bool& busy, std::string& error) {
    busy = false;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return error = path + ": " + std::strerror(errno), false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy = errno == EWOULDBLOCK;
        error = path + ": " + (busy ? std::string("held by another process") : std::strerror(errno));
        ::close(fd);
        return false;
    }
    handle_ = fd;
    path_ = path;
    return true;
}

bool makePrivateFolders(const std::string& folder) {
    for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
        if (::mkdir(folder.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (at == std::string::npos) return true;
    }
}

}  // namespace cvl
