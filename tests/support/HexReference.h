#pragma once
// A reference reading of Intel HEX, written from the format's definition and
// nothing else, to check the reader against: the words of a 16-bit ROM width
// file (word addresses, high byte first), or nothing for a text that breaks
// the format (a bad digit, count or checksum, no end record, data after it).
// It is deliberately slow and plain.

#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace cvl::test {

inline std::optional<std::map<std::uint32_t, std::uint16_t>> referenceHexWords(const std::string& text) {
    std::map<std::uint32_t, std::uint16_t> words;
    std::string body = text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text;
    std::istringstream lines(body);
    std::uint32_t base = 0;
    bool segmented = false;
    bool ended = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (ended) {
            if (line.find_first_not_of("\x1A \t") == std::string::npos && line[0] == '\x1A') continue;
            return std::nullopt;
        }
        if (line[0] != ':' || line.size() % 2 == 0) return std::nullopt;
        std::vector<unsigned> bytes;
        for (std::size_t i = 1; i < line.size(); i += 2) {
            const std::string pair = line.substr(i, 2);
            if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
            bytes.push_back(static_cast<unsigned>(std::stoul(pair, nullptr, 16)));
        }
        if (bytes.size() < 5 || bytes[0] + 5 != bytes.size()) return std::nullopt;
        unsigned sum = 0;
        for (unsigned b : bytes) sum += b;
        if (sum % 256 != 0) return std::nullopt;
        const unsigned count = bytes[0];
        const std::uint32_t offset = bytes[1] << 8 | bytes[2];
        switch (bytes[3]) {
            case 0:
                if (count % 2 != 0) return std::nullopt;
                for (unsigned k = 0; k < count / 2; ++k) {
                    // A segment base's offsets wrap at 64 K, a linear base's do not.
                    const std::uint32_t address = segmented ? base + ((offset + k) & 0xFFFF) : base + offset + k;
                    words[address] = static_cast<std::uint16_t>(bytes[4 + 2 * k] << 8 | bytes[5 + 2 * k]);
                }
                break;
            case 1:
                ended = true;
                break;
            case 2:
                if (count != 2) return std::nullopt;
                base = (bytes[4] << 8 | bytes[5]) * 16u;
                segmented = true;
                break;
            case 4:
                if (count != 2) return std::nullopt;
                base = (bytes[4] << 8 | bytes[5]) * 65536u;
                segmented = false;
                break;
            case 3:
            case 5:
                break;
            default:
                return std::nullopt;
        }
    }
    if (!ended) return std::nullopt;
    return words;
}

}  // namespace cvl::test
