#include "image/SymbolTable.h"

#include "image/LittleEndian.h"

#include <cstring>
#include <fstream>
#include <set>
#include <vector>

namespace cvl {

namespace {

constexpr std::uint32_t kMaxSymbols = 1u << 20;

// The NUL-terminated string at offset within bytes, cut at the end.
std::string stringAt(const std::vector<std::uint8_t>& bytes, std::uint64_t offset) {
    std::string s;
    for (std::uint64_t i = offset; i < bytes.size() && bytes[i] != 0 && s.size() < 4096; ++i) {
        s.push_back(static_cast<char>(bytes[i]));
    }
    return s;
}

bool matches(const std::string& symbol, const std::string& wanted) {
    return symbol == wanted || symbol == "_" + wanted;
}

void coffSymbols(const std::vector<std::uint8_t>& f, const std::string& wanted, std::set<std::uint32_t>& values) {
    const std::uint32_t symbolPos = le32(&f[8]);
    const std::uint32_t count = std::min(le32(&f[12]), kMaxSymbols);
    const std::uint64_t strings = std::uint64_t{symbolPos} + 18ull * count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = std::uint64_t{symbolPos} + 18ull * i;
        if (at + 18 > f.size()) break;
        const std::uint8_t* e = &f[at];
        std::string name;
        if (le32(e) == 0) {
            name = stringAt(f, strings + le32(e + 4));
        } else {
            const void* nul = std::memchr(e, 0, 8);
            name.assign(reinterpret_cast<const char*>(e), nul ? static_cast<const std::uint8_t*>(nul) - e : 8);
        }
        if (matches(name, wanted) && static_cast<std::int16_t>(le16(e + 12)) > 0) values.insert(le32(e + 8));
        i += e[17];  // auxiliary entries
    }
}

void elfSymbols(const std::vector<std::uint8_t>& f, const std::string& wanted, std::set<std::uint32_t>& values) {
    const std::uint32_t shoff = le32(&f[32]);
    const std::uint16_t shentsize = le16(&f[46]);
    const std::uint16_t shnum = le16(&f[48]);
    if (shentsize < 40) return;
    const auto header = [&](std::uint32_t i) -> const std::uint8_t* {
        const std::uint64_t at = std::uint64_t{shoff} + std::uint64_t{shentsize} * i;
        return at + 40 <= f.size() ? &f[at] : nullptr;
    };
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
            if (le16(e + 14) == 0) continue;  // undefined
            if (matches(stringAt(f, strings + le32(e)), wanted)) values.insert(le32(e + 4));
        }
    }
}

}  // namespace

std::optional<std::uint32_t> findSymbol(const std::string& path, const std::string& name, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::uint32_t> values;
    if (f.size() >= 52 && f[0] == 0x7F && f[1] == 'E' && f[2] == 'L' && f[3] == 'F') {
        elfSymbols(f, name, values);
    } else if (f.size() >= 22 && (le16(f.data()) == 0x00C2 || le16(f.data()) == 0x00C1 || le16(f.data()) == 0x009D)) {
        coffSymbols(f, name, values);
    } else {
        error = path + ": only COFF and ELF files have symbols";
        return std::nullopt;
    }
    if (values.empty()) {
        error = "no symbol " + name + " in " + path;
        return std::nullopt;
    }
    if (values.size() > 1) {
        error = "the symbol " + name + " has more than one address in " + path;
        return std::nullopt;
    }
    return *values.begin();
}

}  // namespace cvl
