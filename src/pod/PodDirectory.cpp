#include "pod/PodDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace cvl {

namespace fs = std::filesystem;

namespace {

// An announcement holds four short lines; anything larger is not one.
constexpr std::size_t kMaxAnnouncementBytes = 512;
// The kernel's major numbers of Unix98 pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

// A folder the user may trust with announcements: created 0700 when
// missing; otherwise a real folder (not a link), the user's own, and not
// writable by group or others.
bool privateFolder(const fs::path& dir, std::string& error) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = dir.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = dir.string() +
                " is not a private folder of this user (a link, another user's, or writable by "
                "others): virtual pods there are ignored";
        return false;
    }
    return true;
}

bool isPseudoTerminal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

bool alive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// Whether process pid is alive and has path open.
bool processHolds(pid_t pid, const std::string& path) {
    if (pid <= 0) return false;
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(fdDir.c_str());
    if (dir == nullptr) return false;
    bool holds = false;
    std::array<char, 256> target{};
    while (dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        const std::string link = fdDir + "/" + e->d_name;
        const ssize_t n = ::readlink(link.c_str(), target.data(), target.size() - 1);
        if (n > 0 && path == std::string(target.data(), static_cast<std::size_t>(n))) {
            holds = true;
            break;
        }
    }
    ::closedir(dir);
    return holds;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // a last line without its newline is cut short
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string podDirectory(std::string& error) {
    fs::path base;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        base = fs::path(runtime) / "corvexlink";
    } else {
        std::error_code ec;
        const fs::path temp = fs::temp_directory_path(ec);
        base = (ec ? fs::path("/tmp") : temp) / ("corvexlink-" + std::to_string(::getuid()));
    }
    const fs::path dir = base / "pods";
    if (!privateFolder(base, error) || !privateFolder(dir, error)) return "";
    return dir.string();
}

namespace {
// One announcement file, parsed; checked as well when check is set.
bool readAnnouncement(const std::string& file, AnnouncedPod& pod, bool check = true) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    std::string text(kMaxAnnouncementBytes + 1, '\0');
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
        static_cast<std::size_t>(st.st_size) <= kMaxAnnouncementBytes) {
        n = ::read(fd, text.data(), text.size());
    }
    ::close(fd);
    if (n <= 0 || static_cast<std::size_t>(n) > kMaxAnnouncementBytes) return false;
    text.resize(static_cast<std::size_t>(n));
    const std::vector<std::string> l = lines(text);
    if (l.size() < 4) return false;  // announcements without the emulator's pid are not trusted
    pod.description = l[0];
    pod.devicePath = l[1];
    pod.serialNumber = l[2];
    int pid = 0;
    const auto [end, ec] = std::from_chars(l[3].data(), l[3].data() + l[3].size(), pid);
    if (ec != std::errc{} || end != l[3].data() + l[3].size()) return false;
    pod.pid = pid;
    if (pod.description.empty() || pod.description.size() > 63 || pod.serialNumber.size() > 63) return false;
    return !check || (isPseudoTerminal(pod.devicePath) && processHolds(pod.pid, pod.devicePath));
}

std::vector<fs::path> announcementFiles(const std::string& dir) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".tmp") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}
}  // namespace

std::string podDirectoryProblem() {
    std::string error;
    podDirectory(error);
    return error;
}

void removeStaleAnnouncements() {
    std::string error;
    const std::string dir = podDirectory(error);
    if (dir.empty()) return;
    for (const auto& file : announcementFiles(dir)) {
        AnnouncedPod pod;
        if (readAnnouncement(file.string(), pod, false) && !alive(pod.pid)) ::unlink(file.c_str());
    }
}

std::vector<std::int64_t> otherProcessesHolding(const std::string& path) {
    std::vector<std::int64_t> holders;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return holders;
    while (dirent* e = ::readdir(proc)) {
        pid_t pid = 0;
        const char* name = e->d_name;
        const auto [end, ec] = std::from_chars(name, name + std::strlen(name), pid);
        if (ec != std::errc{} || *end != '\0' || pid == ::getpid()) continue;
        if (processHolds(pid, path)) holders.push_back(pid);
    }
    ::closedir(proc);
    return holders;
}

std::vector<AnnouncedPod> announcedPods() {
    std::vector<AnnouncedPod> pods;
    std::string error;
    const std::string dir = podDirectory(error);
    if (dir.empty()) return pods;
    for (const auto& file : announcementFiles(dir)) {
        AnnouncedPod pod;
        if (readAnnouncement(file.string(), pod)) pods.push_back(pod);
    }
    return pods;
}

std::string announcePod(const AnnouncedPod& pod, const std::string& name, std::string& error) {
    const std::string dir = podDirectory(error);
    if (dir.empty()) return "";
    const fs::path file = fs::path(dir) / name;
    const fs::path temp = fs::path(dir) / (name + "." + std::to_string(::getpid()) + ".tmp");
    const std::string text =
        pod.description + '\n' + pod.devicePath + '\n' + pod.serialNumber + '\n' + std::to_string(pod.pid) + '\n';
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = temp.string() + ": " + std::strerror(errno);
        return "";
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    // Linked, not renamed: a name already taken is never replaced behind a
    // running emulator's back; a stale one (its emulator gone) is.
    bool placed = written && ::link(temp.c_str(), file.c_str()) == 0;
    if (written && !placed && errno == EEXIST) {
        AnnouncedPod other;
        if (readAnnouncement(file.string(), other, false) && alive(other.pid)) {
            error = "another emulator (pid " + std::to_string(other.pid) + ") announces its pod as " + name +
                    ": choose another --name";
            ::unlink(temp.c_str());
            return "";
        }
        placed = ::unlink(file.c_str()) == 0 && ::link(temp.c_str(), file.c_str()) == 0;
    }
    if (!placed) {
        if (error.empty()) error = file.string() + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return "";
    }
    ::unlink(temp.c_str());
    return file.string();
}

}  // namespace cvl
