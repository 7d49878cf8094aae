#include "line/JsonLinesLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/JsonText.h"

namespace cvl {

JsonLinesLog::~JsonLinesLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool JsonLinesLog::open(const std::string& path, std::string& error) {
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
    fd_ = fd;
    return true;
}

// A write that falls short (a full disk) is cut back to the last full line;
// appends of other processes wait on the lock meanwhile.
bool JsonLinesLog::append(const BoardRecord& board, std::string& error) {
    return appendLine(boardLogLine(board), error);
}

bool JsonLinesLog::appendLine(const std::string& line, std::string& error) {
    const std::string text = line + "\n";
    ::flock(fd_, LOCK_EX);
    const off_t before = ::lseek(fd_, 0, SEEK_END);
    const ssize_t n = ::write(fd_, text.data(), text.size());
    const bool ok = n == static_cast<ssize_t>(text.size()) && ::fsync(fd_) == 0;
    if (!ok) {
        error = std::strerror(n < 0 ? errno : ENOSPC);
        if (before >= 0 && ::ftruncate(fd_, before) == 0) {
            error += ": the line was not written, and the log ends with its last full line";
        } else {
            error += ": the log may end with a part of a line";
        }
    }
    ::flock(fd_, LOCK_UN);
    return ok;
}

bool JsonLinesLog::drain(const std::function<bool(const std::vector<std::string>&, std::string&)>& store,
                         std::string& error) {
    ::flock(fd_, LOCK_EX);
    std::string text;
    char buffer[8192];
    ssize_t n = 0;
    for (off_t at = 0; (n = ::pread(fd_, buffer, sizeof buffer, at)) > 0; at += n) text.append(buffer, std::size_t(n));
    std::vector<std::string> lines;
    for (std::size_t at = 0, end = 0; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));  // a part line after the last line end is a write cut short
    }
    bool ok = n == 0;
    if (!ok) error = std::strerror(errno);
    if (ok && !lines.empty()) ok = store(lines, error);
    if (ok && !text.empty() && (::ftruncate(fd_, 0) != 0 || ::fsync(fd_) != 0)) {
        error = std::strerror(errno);
        ok = false;
    }
    ::flock(fd_, LOCK_UN);
    return ok;
}

std::string boardLogLine(const BoardRecord& b) {
    nlohmann::ordered_json line;
    line["time"] = b.time;
    putText(line, "host", b.host);
    putText(line, "podSerialNumber", b.pod.serialNumber);
    line["backend"] = b.pod.backend;
    line["device"] = b.device;
    line["command"] = b.command;
    putText(line, "program", b.program);
    line["programSha256"] = b.programSha256;
    line["flashCrc32"] = b.flashCrc32;
    line["eraseMask"] = b.eraseMask;
    line["serialNumber"] = b.serialNumber ? nlohmann::ordered_json(*b.serialNumber) : nlohmann::ordered_json(nullptr);
    line["result"] = std::string(outcomeName(b.outcome.code));
    putText(line, "message", b.outcome.message);
    const PhaseTimes& t = b.outcome.phases;
    line["phasesMs"] = {{"boot", jsonMs(t.boot)},           {"algorithm", jsonMs(t.algorithm)},
                        {"flashInit", jsonMs(t.flashInit)}, {"erase", jsonMs(t.erase)},
                        {"program", jsonMs(t.program)},     {"reset", jsonMs(t.reset)}};
    line["totalMs"] = jsonMs(b.totalMs);
    return jsonText(line);
}

}  // namespace cvl
