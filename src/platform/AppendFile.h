#pragma once
// A file of lines that several threads and processes append to: each line is
// written whole under an exclusive lock and synced before append returns.
// Only a regular file, never reached through a link, opened without waiting.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cvl {

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens path (created private when missing) for appending and reading.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return handle_ != kClosed; }
    // Appends text whole; a write cut short (a full disk) is cut back to the
    // last whole line, and error says so.
    bool append(const std::string& text, std::string& error);
    // Hands every whole line to store under the lock and empties the file
    // when store succeeds; the lines stay when it fails.
    bool drain(const std::function<bool(const std::vector<std::string>&, std::string&)>& store, std::string& error);

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;  // the system's descriptor or handle
};

}  // namespace cvl
