#include "platform/AppendFile.h"

#include <windows.h>

#include "platform/win32/WideText.h"

namespace cvl {

namespace {

HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The whole file, locked against the other processes' appends.
class WholeFileLock {
public:
    explicit WholeFileLock(HANDLE h) : h_(h) { LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at_); }
    ~WholeFileLock() { UnlockFileEx(h_, 0, MAXDWORD, MAXDWORD, &at_); }
    WholeFileLock(const WholeFileLock&) = delete;
    WholeFileLock& operator=(const WholeFileLock&) = delete;

private:
    HANDLE h_;
    OVERLAPPED at_{};
};

bool moveTo(HANDLE h, std::int64_t offset, DWORD from, std::int64_t* now = nullptr) {
    LARGE_INTEGER distance{}, result{};
    distance.QuadPart = offset;
    if (!SetFilePointerEx(h, distance, &result, from)) return false;
    if (now != nullptr) *now = result.QuadPart;
    return true;
}

}  // namespace

AppendFile::~AppendFile() {
    if (isOpen()) CloseHandle(handleOf(handle_));
}

bool AppendFile::open(const std::string& path, std::string& error) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, win32::privateSecurityDescriptor(), FALSE};
    const HANDLE h =
        CreateFileW(win32::wideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    attributes.lpSecurityDescriptor ? &attributes : nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    LocalFree(attributes.lpSecurityDescriptor);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": cannot be opened: " + win32::errorText(GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(h);
        error = path + ": is a symbolic link";
        return false;
    }
    if (GetFileType(h) != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(h);
        error = path + ": not a regular file";
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool AppendFile::append(const std::string& text, std::string& error) {
    const HANDLE h = handleOf(handle_);
    const WholeFileLock lock(h);
    std::int64_t before = 0;
    DWORD n = 0;
    const bool ok = moveTo(h, 0, FILE_END, &before) &&
                    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) && n == text.size() &&
                    FlushFileBuffers(h);
    if (!ok) {
        error = "writing failed: " + win32::errorText(GetLastError());
        if (moveTo(h, before, FILE_BEGIN) && SetEndOfFile(h)) {
            error += ": the line was not written, and the file ends with its last full line";
        } else {
            error += ": the file may end with a part of a line";
        }
    }
    return ok;
}

bool AppendFile::drain(const std::function<bool(const std::vector<std::string>&, std::string&)>& store,
                       std::string& error) {
    const HANDLE h = handleOf(handle_);
    const WholeFileLock lock(h);
    std::string text;
    char buffer[8192];
    DWORD n = 0;
    bool ok = moveTo(h, 0, FILE_BEGIN);
    while (ok && (ok = ReadFile(h, buffer, sizeof buffer, &n, nullptr) != 0) && n > 0) text.append(buffer, n);
    if (!ok) error = "reading failed: " + win32::errorText(GetLastError());
    std::vector<std::string> lines;
    for (std::size_t at = 0, end = 0; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));  // a part line after the last line end is a write cut short
    }
    if (ok && !lines.empty()) ok = store(lines, error);
    if (ok && !text.empty() && !(moveTo(h, 0, FILE_BEGIN) && SetEndOfFile(h) && FlushFileBuffers(h))) {
        error = "emptying failed: " + win32::errorText(GetLastError());
        ok = false;
    }
    return ok;
}

}  // namespace cvl
