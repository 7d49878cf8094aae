#include "image/SymbolTable.h"

#include "image/LittleEndian.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace cvl {

namespace {

constexpr std::uint32_t kMaxSymbols = 1u << 20;
constexpr std::streamoff kMaxFileBytes = std::streamoff{64} << 20;
constexpr std::uint32_t kCoffText = 0x20;       // STYP_TEXT
constexpr std::uint32_t kElfExecInstr = 0x4;    // SHF_EXECINSTR
constexpr std::uint8_t kElfFunction = 2;        // STT_FUNC
constexpr std::uint16_t kCoffFunctionType = 2;  // DT_FCN, in the derived-type bits

using Bytes = std::vector<std::uint8_t>;

// The NUL-terminated string at offset within bytes, cut at the end.
std::string stringAt(const Bytes& bytes, std::uint64_t offset) {
    std::string s;
    for (std::uint64_t i = offset; i < bytes.size() && bytes[i] != 0 && s.size() < 4096; ++i) {
        s.push_back(static_cast<char>(bytes[i]));
    }
    return s;
}

std::string coffName(const Bytes& f, const std::uint8_t* e, std::uint64_t strings) {
    if (le32(e) == 0) return stringAt(f, strings + le32(e + 4));
    const void* nul = std::memchr(e, 0, 8);
    return std::string(reinterpret_cast<const char*>(e), nul ? static_cast<const std::uint8_t*>(nul) - e : 8);
}

struct SectionInfo {
    std::string name;
    bool code = false;
    std::uint32_t address = 0;
    std::uint32_t words = 0;
};

bool isElf(const Bytes& f) { return f.size() >= 52 && f[0] == 0x7F && f[1] == 'E' && f[2] == 'L' && f[3] == 'F'; }
bool isCoff(const Bytes& f) {
    return f.size() >= 22 && (le16(f.data()) == 0x00C2 || le16(f.data()) == 0x00C1 || le16(f.data()) == 0x009D);
}

std::uint64_t coffStrings(const Bytes& f) {
    return std::uint64_t{le32(&f[8])} + 18ull * std::min(le32(&f[12]), kMaxSymbols);
}

std::vector<SectionInfo> coffSections(const Bytes& f) {
    const bool v0 = le16(f.data()) == 0x009D;
    const int version = v0 ? 0 : le16(f.data()) - 0x00C0;
    std::uint64_t headers = (v0 ? 20 : 22) + (le16(&f[16]) != 0 ? 28 : 0);
    const std::size_t headerBytes = version == 2 ? 48 : 40;
    std::vector<SectionInfo> sections;
    for (std::uint32_t i = 0; i < le16(&f[2]); ++i, headers += headerBytes) {
        if (headers + headerBytes > f.size()) break;
        const std::uint8_t* sh = &f[headers];
        const std::uint32_t flags = version == 2 ? le32(sh + 40) : le16(sh + 36);
        sections.push_back({coffName(f, sh, coffStrings(f)), (flags & kCoffText) != 0, le32(sh + 12), le32(sh + 16)});
    }
    return sections;
}

std::vector<SectionInfo> elfSections(const Bytes& f) {
    const std::uint32_t shoff = le32(&f[32]);
    const std::uint16_t shentsize = le16(&f[46]);
    const std::uint16_t shnum = le16(&f[48]);
    std::vector<SectionInfo> out;
    if (shentsize < 40) return out;
    const auto header = [&](std::uint32_t i) -> const std::uint8_t* {
        const std::uint64_t at = std::uint64_t{shoff} + std::uint64_t{shentsize} * i;
        return i < shnum && at + 40 <= f.size() ? &f[at] : nullptr;
    };
    const std::uint8_t* names = header(le16(&f[50]));
    for (std::uint32_t i = 0; i < shnum; ++i) {
        const std::uint8_t* sh = header(i);
        if (sh == nullptr) continue;
        const std::string name = names != nullptr ? stringAt(f, std::uint64_t{le32(names + 16)} + le32(sh)) : "";
        // C28x sections are addressed in 16-bit words; their sizes are in bytes.
        out.push_back({name, (le32(sh + 8) & kElfExecInstr) != 0, le32(sh + 12), le32(sh + 20) / 2});
    }
    return out;
}

std::vector<ProgramSymbol> coffSymbols(const Bytes& f) {
    const std::uint32_t symbolPos = le32(&f[8]);
    const std::uint32_t count = std::min(le32(&f[12]), kMaxSymbols);
    const std::uint64_t strings = coffStrings(f);
    const std::vector<SectionInfo> sections = coffSections(f);
    std::vector<ProgramSymbol> out;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = std::uint64_t{symbolPos} + 18ull * i;
        if (at + 18 > f.size()) break;
        const std::uint8_t* e = &f[at];
        const auto section = static_cast<std::int16_t>(le16(e + 12));
        if (section > 0) {
            ProgramSymbol s{coffName(f, e, strings), le32(e + 8), "", ((le16(e + 14) >> 4) & 3) == kCoffFunctionType};
            if (static_cast<std::size_t>(section) <= sections.size()) {
                s.section = sections[static_cast<std::size_t>(section) - 1].name;
                s.code = s.code || sections[static_cast<std::size_t>(section) - 1].code;
            }
            out.push_back(std::move(s));
        }
        i += e[17];  // auxiliary entries
    }
    return out;
}

std::vector<ProgramSymbol> elfSymbols(const Bytes& f) {
    const std::uint32_t shoff = le32(&f[32]);
    const std::uint16_t shentsize = le16(&f[46]);
    const std::uint16_t shnum = le16(&f[48]);
    const std::uint16_t shstrndx = le16(&f[50]);
    std::vector<ProgramSymbol> out;
    if (shentsize < 40) return out;
    const auto header = [&](std::uint32_t i) -> const std::uint8_t* {
        const std::uint64_t at = std::uint64_t{shoff} + std::uint64_t{shentsize} * i;
        return i < shnum && at + 40 <= f.size() ? &f[at] : nullptr;
    };
    const std::uint8_t* names = header(shstrndx);
    for (std::uint32_t i = 0; i < shnum; ++i) {
        const std::uint8_t* sh = header(i);
        if (sh == nullptr || le32(sh + 4) != 2) continue;  // SHT_SYMTAB
        const std::uint8_t* strtab = header(le32(sh + 24));
        if (strtab == nullptr) continue;
        const std::uint64_t strings = le32(strtab + 16);
        const std::uint64_t start = le32(sh + 16);
        const std::uint64_t size = std::min<std::uint64_t>(le32(sh + 20), 16ull * kMaxSymbols);
        for (std::uint64_t at = start; at + 16 <= start + size && at + 16 <= f.size(); at += 16) {
            const std::uint8_t* e = &f[at];
            const std::uint16_t index = le16(e + 14);
            if (index == 0 || index >= 0xFF00) continue;  // undefined, absolute or common
            ProgramSymbol s{stringAt(f, strings + le32(e)), le32(e + 4), "", (e[12] & 0xF) == kElfFunction};
            if (const std::uint8_t* defining = header(index)) {
                if (names != nullptr) s.section = stringAt(f, std::uint64_t{le32(names + 16)} + le32(defining));
                s.code = s.code || (le32(defining + 8) & kElfExecInstr) != 0;
            }
            out.push_back(std::move(s));
        }
    }
    return out;
}

Bytes readAll(const std::string& path) {
    std::ifstream in(nativePath(path), std::ios::binary | std::ios::ate);
    const std::streamoff size = in.is_open() ? static_cast<std::streamoff>(in.tellg()) : -1;
    Bytes f(static_cast<std::size_t>(std::clamp<std::streamoff>(size, 0, kMaxFileBytes)));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(f.data()), static_cast<std::streamsize>(f.size()));
    f.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return f;
}

}  // namespace

std::optional<std::vector<ProgramSymbol>> readSymbols(const std::string& path, std::string& error) {
    const Bytes f = readAll(path);
    if (isElf(f)) return elfSymbols(f);
    if (isCoff(f)) return coffSymbols(f);
    error = path + ": only COFF and ELF files have symbols";
    return std::nullopt;
}

std::optional<std::string> codeSectionAt(const std::string& path, std::uint32_t address) {
    const Bytes f = readAll(path);
    const std::vector<SectionInfo> sections = isElf(f)    ? elfSections(f)
                                              : isCoff(f) ? coffSections(f)
                                                          : std::vector<SectionInfo>{};
    for (const SectionInfo& s : sections) {
        if (s.code && address >= s.address && address < std::uint64_t{s.address} + s.words) return s.name;
    }
    return std::nullopt;
}

std::optional<ProgramSymbol> findSymbol(const std::string& path, const std::string& name, std::string& error) {
    const auto symbols = readSymbols(path, error);
    if (!symbols) return std::nullopt;
    std::vector<ProgramSymbol> found;
    for (const ProgramSymbol& s : *symbols) {
        if (s.name != name && s.name != "_" + name) continue;
        if (std::none_of(found.begin(), found.end(), [&](const ProgramSymbol& f) { return f.address == s.address; }))
            found.push_back(s);
    }
    if (found.empty()) {
        error = "no symbol " + name + " in " + path;
        return std::nullopt;
    }
    if (found.size() > 1) {
        error = "the symbol " + name + " has more than one address in " + path;
        return std::nullopt;
    }
    return found.front();
}

}  // namespace cvl
