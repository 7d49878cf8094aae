#pragma once
// The emulator's flash and store files: read only as regular files of the
// size expected (never a FIFO, a device or a folder, never more than asked),
// and replaced only once the new content is complete and on disk, through a
// private temporary file of a unique name, so a crash never leaves half a
// file and two savers never collide. A file holds the CSM keys: mode 0600.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace cvl::sim {

enum class ReadResult : std::uint8_t { Read, Missing, Failed };

// Reads path when it is a regular file of at most maxBytes; Missing when
// there is nothing at path.
ReadResult readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                         std::string& error);
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);

// Holds "<path>.lock" exclusively while alive, so a second emulator refuses a
// file the first one is using.
class FileClaim {
public:
    // False (error set) when another process holds it.
    bool claim(const std::string& path, std::string& error);

private:
    FileLock lock_;
};

}  // namespace cvl::sim
