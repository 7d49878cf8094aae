#include "CoffWriter.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace cvl::test {

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, static_cast<std::uint16_t>(v));
    put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

Bytes buildCoff(const CoffLayout& layout) {
    const bool v2 = layout.version == 2;
    const std::size_t fileHeader = layout.version == 0 ? 20 : 22;
    const std::size_t optional = layout.optionalHeaderSize != 0 ? 28 : 0;
    const std::size_t sectionHeader = v2 ? 48 : 40;
    const std::size_t headersStart = fileHeader + optional;
    std::size_t dataPos = headersStart + layout.sections.size() * sectionHeader;

    Bytes out(dataPos, 0);
    put16(out, 0, layout.version == 0 ? std::uint16_t{0x009D} : static_cast<std::uint16_t>(0x00C0 + layout.version));
    put16(out, 2, static_cast<std::uint16_t>(layout.sections.size()));
    put16(out, 16, layout.optionalHeaderSize);
    if (layout.version != 0) put16(out, 20, layout.targetId);

    std::string strings;  // string table body after its 4-byte size field
    for (std::size_t i = 0; i < layout.sections.size(); ++i) {
        const TestSection& s = layout.sections[i];
        const std::size_t h = headersStart + i * sectionHeader;
        if (s.longName || s.name.size() > 8) {
            put32(out, h, 0);
            put32(out, h + 4, static_cast<std::uint32_t>(4 + strings.size()));
            strings += s.name;
            strings.push_back('\0');
        } else {
            for (std::size_t k = 0; k < s.name.size(); ++k) out[h + k] = static_cast<std::uint8_t>(s.name[k]);
        }
        put32(out, h + 8, s.address);
        put32(out, h + 12, s.address);
        put32(out, h + 16, s.sizeOverride.value_or(static_cast<std::uint32_t>(s.words.size())));
        if (v2) {
            put32(out, h + 40, s.flags);
        } else {
            put16(out, h + 36, static_cast<std::uint16_t>(s.flags));
        }
        if (s.withData && !s.words.empty()) {
            put32(out, h + 20, static_cast<std::uint32_t>(out.size()));
            for (std::uint16_t w : s.words) put16(out, out.size(), w);
        }
    }
    if (layout.symbolTable) {
        const std::size_t symbolPos = out.size();
        out.resize(symbolPos + 18, 0);  // one symbol entry, never read
        put32(out, 8, static_cast<std::uint32_t>(symbolPos));
        put32(out, 12, 1);
        put32(out, out.size(), static_cast<std::uint32_t>(4 + strings.size()));
        out.insert(out.end(), strings.begin(), strings.end());
    }
    return out;
}

std::string writeTempFile(const std::string& name, const Bytes& bytes) {
    const auto dir = std::filesystem::temp_directory_path() / ("corvexlink-tests-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = dir / name;
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

}  // namespace cvl::test
