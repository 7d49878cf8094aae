#include "sim/AtomicFile.h"

#include "platform/Files.h"

namespace cvl::sim {

ReadResult readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                         std::string& error) {
    if (!fileExists(path)) return ReadResult::Missing;
    std::string text;
    switch (readRegularFile(path, maxBytes, text)) {
        case ReadFileResult::Ok:
            bytes.assign(text.begin(), text.end());
            return ReadResult::Read;
        case ReadFileResult::NotRegular:
            error = path + ": not a regular file";
            return ReadResult::Failed;
        case ReadFileResult::TooLarge:
            error = path + ": larger than the " + std::to_string(maxBytes) + " bytes expected";
            return ReadResult::Failed;
        case ReadFileResult::Failed:
            break;
    }
    error = path + ": read failed";
    return ReadResult::Failed;
}

bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
    return cvl::writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                    error);
}

bool FileClaim::claim(const std::string& path, std::string& error) {
    bool busy = false;
    if (lock_.lock(path + ".lock", busy, error)) return true;
    if (busy) error = path + ": in use by another emulator";
    return false;
}

}  // namespace cvl::sim
