#pragma once
// Files, the same on every system: paths are UTF-8 text. Files the programs
// write that may hold secrets (traces carry the CSM keys) are private to the
// user, never written through a link, and only regular files, so a path can
// neither clobber another file nor hang on a FIFO or a device.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace cvl {

// A UTF-8 path as the standard library's path, so streams and std::filesystem
// open the file it names on every system (not through a code page).
inline std::filesystem::path nativePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Opens path for writing from the start ("w"), line-buffered; nullptr with
// error set when it is a link, not a regular file, or cannot be created.
std::FILE* openPrivateOutput(const std::string& path, std::string& error);

// Flushes what file holds and syncs it to disk; false when that fails.
bool syncOutput(std::FILE* file);

// Flushes and closes; false (error set) when anything written was lost.
bool closePrivateOutput(std::FILE* file, const std::string& path, std::string& error);

// An output written under a private temporary name beside path and moved
// over path only when committed, so a command that fails or never starts
// leaves an existing file as it was. Refused, with error set, when path is a
// link, exists as anything but a regular file, or is read-only.
class StagedOutput {
public:
    StagedOutput() = default;
    ~StagedOutput();  // removes the temporary file unless it was committed
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    bool open(const std::string& path, std::string& error);
    // Line-buffered: every finished line reaches the temporary file at once.
    std::FILE* file() const { return file_; }
    const std::string& path() const { return path_; }
    // Flushes, syncs, closes and moves the file over path; false (error set)
    // when anything written was lost, and the temporary file is removed.
    bool commit(std::string& error);

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    std::string temp_;
};

// Replaces path with bytes only once they are complete and on disk: written
// to a private temporary file of a unique name beside it, then moved over
// path in one step, so a failure or a crash never leaves half a file and two
// writers never collide. An interrupt meanwhile takes effect once the
// temporary file is moved or removed. Refused, with error set, when path is
// a link, exists as anything but a regular file, or is read-only.
// keepMode: a replaced file keeps its permissions (a new one is private).
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string& error, bool keepMode = false);

// Whether both paths name one existing file (after links), whatever the names.
bool sameFile(const std::string& a, const std::string& b);

enum class ReadFileResult { Ok, NotRegular, TooLarge, Failed };
// A whole regular file of at most maxBytes, opened without waiting (a FIFO
// or a device is refused, never read).
ReadFileResult readRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& bytes);

struct FileFacts {
    bool exists = false;
    bool regular = false;
    bool link = false;        // the name itself is a symbolic link or reparse point
    std::uint64_t names = 0;  // hard links to the file
    bool readWrite = false;   // this user may read and write it
    std::uint64_t size = 0;
    bool othersOwn = false;    // it belongs to another user (never on Windows, where ACLs decide)
    bool othersWrite = false;  // users other than its owner may write it (group or world)
};
// What path names, not following a link at its end.
FileFacts fileFacts(const std::string& path);
// Whether anything exists at path (a link included).
bool fileExists(const std::string& path);
// The real path with every link resolved; path itself when it cannot be.
std::string realPath(const std::string& path);
// Moves the file from over to: over an existing file when replace is set,
// else only when nothing is at to (nothing is ever lost: a file that
// appeared meanwhile stays, and false is returned with exists set).
bool moveFile(const std::string& from, const std::string& to, bool replace, bool& exists, std::string& error);
// Removes the file at path, if there is one.
void removeFile(const std::string& path);
// The folder holding path ("." for a bare name).
std::string folderOf(const std::string& path);
// name in folder, joined with the system's own separator (as a user would write it).
std::string inFolder(const std::string& folder, const std::string& name);
// An exclusive lock on a file of its own while it lives (the file is made
// when missing, private, never through a link, and removed when let go), so
// a second process that wants the same thing refuses instead of sharing it.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // False, with error set, when it cannot be made or another process holds
    // it (then busy is set).
    bool lock(const std::string& path, bool& busy, std::string& error);

private:
    std::intptr_t handle_ = -1;
    std::string path_;
};

// Makes folder and its missing parents, new ones private; false when it cannot.
bool makePrivateFolders(const std::string& folder);

}  // namespace cvl
