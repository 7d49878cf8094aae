#include "platform/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <random>

#include "platform/Interrupts.h"
#include "platform/win32/WideText.h"

namespace cvl {

namespace {

using win32::wideText;

std::string lastError() { return win32::errorText(GetLastError()); }

// The owner-only descriptor, freed when it goes out of scope.
class PrivateAttributes {
public:
    PrivateAttributes() : sd_(win32::privateSecurityDescriptor()) {
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = sd_;
        attributes_.bInheritHandle = FALSE;
    }
    ~PrivateAttributes() { LocalFree(sd_); }
    PrivateAttributes(const PrivateAttributes&) = delete;
    PrivateAttributes& operator=(const PrivateAttributes&) = delete;
    SECURITY_ATTRIBUTES* get() { return sd_ != nullptr ? &attributes_ : nullptr; }
    void* descriptor() const { return sd_; }

private:
    void* sd_;
    SECURITY_ATTRIBUTES attributes_{};
};

// A handle to path itself (a link is not followed), only to look at it.
HANDLE openToInspect(const std::string& path, DWORD access = 0) {
    return CreateFileW(wideText(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool isReparsePoint(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool isDiskFile(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool writeAll(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!WriteFile(h, bytes.data(), chunk, &n, nullptr) || n == 0) return false;
        bytes.remove_prefix(n);
    }
    return true;
}

}  // namespace

std::FILE* openPrivateOutput(const std::string& path, std::string& error) {
    PrivateAttributes attributes;
    const HANDLE h =
        CreateFileW(wideText(path).c_str(), GENERIC_WRITE | WRITE_DAC | READ_CONTROL, FILE_SHARE_READ, attributes.get(),
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": " + lastError();
        return nullptr;
    }
    if (isReparsePoint(h)) {
        CloseHandle(h);
        error = path + ": is a symbolic link";
        return nullptr;
    }
    if (!isDiskFile(h)) {
        CloseHandle(h);
        error = path + ": not a regular file";
        return nullptr;
    }
    // An existing file is made private too.
    if (attributes.descriptor() != nullptr) {
        SetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                attributes.descriptor());
    }
    if (!SetEndOfFile(h)) {
        error = path + ": " + lastError();
        CloseHandle(h);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_WRONLY | _O_BINARY);
    std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        error = path + ": cannot be written";
        if (fd >= 0) {
            _close(fd);
        } else {
            CloseHandle(h);
        }
        return nullptr;
    }
    // The C library buffers "line buffered" files fully here: unbuffered, each
    // finished line still reaches the file at once.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

bool syncOutput(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

bool closePrivateOutput(std::FILE* file, const std::string& path, std::string& error) {
    if (file == nullptr) return true;
    const bool flushed = std::ferror(file) == 0 && syncOutput(file);
    const bool closed = std::fclose(file) == 0;
    if (flushed && closed) return true;
    error = path + ": writing failed";
    return false;
}

namespace {
// Whether path may be replaced by a new file: nothing there, or a regular
// file (not a link) that is not read-only.
bool mayReplace(const std::string& path, bool& exists, std::string& error) {
    const DWORD old = GetFileAttributesW(wideText(path).c_str());
    exists = old != INVALID_FILE_ATTRIBUTES;
    if (exists && (old & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return error = path + ": is a symbolic link: not replaced", false;
    if (exists && (old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return error = path + ": not a regular file: not replaced", false;
    if (exists && (old & FILE_ATTRIBUTE_READONLY) != 0) return error = path + ": is read-only: not replaced", false;
    if (exists) {
        const HANDLE h = openToInspect(path);
        const bool disk = h != INVALID_HANDLE_VALUE && isDiskFile(h);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        if (!disk) return error = path + ": not a regular file: not replaced", false;
    }
    return true;
}

std::string temporaryNameBeside(const std::string& path) {
    std::random_device random;
    return path + "." + std::to_string(random()) + ".tmp";
}
}  // namespace

StagedOutput::~StagedOutput() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    DeleteFileW(wideText(temp_).c_str());
}

bool StagedOutput::open(const std::string& path, std::string& error) {
    bool exists = false;
    if (!mayReplace(path, exists, error)) return false;
    const std::string temp = temporaryNameBeside(path);
    PrivateAttributes attributes;
    const HANDLE h = CreateFileW(wideText(temp).c_str(), GENERIC_WRITE, FILE_SHARE_READ, attributes.get(), CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return error = path + ": " + lastError(), false;
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_WRONLY | _O_BINARY);
    file_ = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (file_ == nullptr) {
        if (fd >= 0) {
            _close(fd);
        } else {
            CloseHandle(h);
        }
        DeleteFileW(wideText(temp).c_str());
        return error = path + ": cannot be written", false;
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);  // see openPrivateOutput
    path_ = path;
    temp_ = temp;
    return true;
}

bool StagedOutput::commit(std::string& error) {
    if (file_ == nullptr) return true;
    std::FILE* file = file_;
    file_ = nullptr;
    const bool flushed = std::ferror(file) == 0 && syncOutput(file);
    const bool closed = std::fclose(file) == 0;
    const std::wstring wideTemp = wideText(temp_);
    if (flushed && closed &&
        MoveFileExW(wideTemp.c_str(), wideText(path_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    error = path_ + ": writing failed: " + lastError();
    DeleteFileW(wideTemp.c_str());
    return false;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error, bool keepMode) {
    const std::wstring target = wideText(path);
    bool exists = false;
    if (!mayReplace(path, exists, error)) return false;
    const InterruptsHeld held;
    const std::string temp = temporaryNameBeside(path);
    const std::wstring wideTemp = wideText(temp);
    // A replaced file keeping its permissions takes its folder's, as it had.
    PrivateAttributes attributes;
    const HANDLE h = CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, exists && keepMode ? nullptr : attributes.get(),
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = path + ": " + lastError();
        return false;
    }
    const bool written = writeAll(h, bytes) && FlushFileBuffers(h);
    if (!written) error = temp + ": " + lastError();
    CloseHandle(h);
    if (written && MoveFileExW(wideTemp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    if (written) error = path + ": " + lastError();
    DeleteFileW(wideTemp.c_str());
    return false;
}

bool sameFile(const std::string& a, const std::string& b) {
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE h = CreateFileW(wideText(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool ok = GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        return ok != 0;
    };
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    return identity(a, ia) && identity(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

ReadFileResult readRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& bytes) {
    const HANDLE h = CreateFileW(wideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ReadFileResult::NotRegular;
    LARGE_INTEGER size{};
    if (!isDiskFile(h) || !GetFileSizeEx(h, &size)) {
        CloseHandle(h);
        return ReadFileResult::NotRegular;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        CloseHandle(h);
        return ReadFileResult::TooLarge;
    }
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - got, 1u << 30));
        if (!ReadFile(h, bytes.data() + got, chunk, &n, nullptr)) {
            CloseHandle(h);
            return ReadFileResult::Failed;
        }
        if (n == 0) break;  // cut short meanwhile: what is there
        got += n;
    }
    bytes.resize(got);
    CloseHandle(h);
    return ReadFileResult::Ok;
}

FileFacts fileFacts(const std::string& path) {
    FileFacts facts;
    const HANDLE h = openToInspect(path);
    if (h == INVALID_HANDLE_VALUE) return facts;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info)) {
        facts.exists = true;
        facts.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        facts.regular = !facts.link && isDiskFile(h);
        facts.names = info.nNumberOfLinks;
        facts.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
        facts.readWrite = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    }
    CloseHandle(h);
    if (facts.readWrite) {
        const HANDLE rw = openToInspect(path, GENERIC_READ | GENERIC_WRITE);
        facts.readWrite = rw != INVALID_HANDLE_VALUE;
        if (rw != INVALID_HANDLE_VALUE) CloseHandle(rw);
    }
    return facts;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesW(wideText(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string realPath(const std::string& path) {
    const HANDLE h = CreateFileW(wideText(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    std::wstring name(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    if (n >= name.size()) {
        name.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(h);
    if (n == 0 || n >= name.size()) return path;
    name.resize(n);
    // The final path comes as \\?\C:\... or \\?\UNC\server\share\...: back to
    // the names every program takes (C:\... and \\server\share\...).
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        name.replace(0, 8, L"\\\\");
    } else if (name.rfind(L"\\\\?\\", 0) == 0) {
        name.erase(0, 4);
    }
    return win32::utf8Text(name);
}

bool moveFile(const std::string& from, const std::string& to, bool replace, bool& exists, std::string& error) {
    exists = false;
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(wideText(from).c_str(), wideText(to).c_str(), flags)) return true;
    exists = GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS;
    error = to + ": " + lastError();
    return false;
}

void removeFile(const std::string& path) { DeleteFileW(wideText(path).c_str()); }

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    return slash == 0 || (slash == 2 && path[1] == ':') ? path.substr(0, slash + 1) : path.substr(0, slash);
}

std::string inFolder(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

FileLock::~FileLock() {
    if (handle_ == -1) return;
    CloseHandle(reinterpret_cast<HANDLE>(handle_));  // the lock goes with the handle
    DeleteFileW(wideText(path_).c_str());
}

bool FileLock::lock(const std::string& path, bool& busy, std::string& error) {
    busy = false;
    PrivateAttributes attributes;
    const HANDLE h = CreateFileW(wideText(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, attributes.get(), OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return error = path + ": " + lastError(), false;
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
        busy = GetLastError() == ERROR_LOCK_VIOLATION;
        error = path + ": " + (busy ? std::string("held by another process") : lastError());
        CloseHandle(h);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    path_ = path;
    return true;
}

bool makePrivateFolders(const std::string& folder) {
    PrivateAttributes attributes;
    for (std::size_t at = folder.find_first_of("/\\", 1);; at = folder.find_first_of("/\\", at + 1)) {
        const std::string part = folder.substr(0, at);
        const bool drive = part.size() == 2 && part[1] == ':';
        if (!drive && !part.empty() && !CreateDirectoryW(wideText(part).c_str(), attributes.get()) &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
        if (at == std::string::npos) return true;
    }
}

}  // namespace cvl
