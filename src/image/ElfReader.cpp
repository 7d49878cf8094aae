#include "image/ElfReader.h"

#include <array>
#include <cstdint>
#include <vector>

#include "image/ProgramBlocks.h"
#include "image/LittleEndian.h"

namespace cvl {

namespace {

constexpr std::uint16_t kMachineC28x = 141;
constexpr std::uint16_t kTypeExecutable = 2;
constexpr std::uint32_t kLoadSegment = 1;
constexpr std::size_t kHeaderBytes = 52;
constexpr std::size_t kProgramHeaderBytes = 32;
constexpr std::size_t kSectionHeaderBytes = 40;
constexpr std::uint32_t kSectionAlloc = 0x2;
constexpr std::uint32_t kSectionNoBits = 8;
constexpr std::size_t kMaxNameBytes = 64;
constexpr std::uint32_t kMaxHeaders = 4096;

class Stream {
public:
    explicit Stream(std::istream& in) : in_(in) {
        in_.seekg(0, std::ios::end);
        const auto end = in_.tellg();
        length_ = in_.fail() || end < 0 ? 0 : static_cast<std::uint64_t>(end);
    }
    std::uint64_t length() const { return length_; }
    bool readAt(std::uint64_t pos, void* dst, std::size_t n) {
        if (pos > length_ || length_ - pos < n) return false;
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(pos));
        in_.read(static_cast<char*>(dst), static_cast<std::streamsize>(n));
        return static_cast<std::size_t>(in_.gcount()) == n && !in_.bad();
    }

private:
    std::istream& in_;
    std::uint64_t length_ = 0;
};

struct Segment {
    std::uint32_t offset, paddr, filesz;
};

class ElfDecoder : public BlockDecoder {
public:
    explicit ElfDecoder(Stream& file) : file_(file) {}
    // source: the segment's file offset; the words are little-endian as in the image.
    bool decode(const ProgramBlock& block, std::uint8_t* out) override {
        return file_.readAt(block.source, out, std::size_t{block.words} * 2);
    }

private:
    Stream& file_;
};

// The ELF header's fields the reader uses.
struct ElfHeader {
    std::uint32_t phoff = 0, shoff = 0;
    std::uint16_t phentsize = 0, phnum = 0, shentsize = 0, shnum = 0, shstrndx = 0;
};

// Reads the ELF header: a 32-bit little-endian C28x executable with program
// headers inside the file.
OutcomeCode readHeader(Stream& file, ElfHeader& out, std::string& detail) {
    std::array<std::uint8_t, kHeaderBytes> h{};
    if (!file.readAt(0, h.data(), h.size())) return detail = "the ELF header is cut short", OutcomeCode::ElfDamaged;
    if (h[4] != 1 || h[5] != 1) return detail = "not a 32-bit little-endian ELF file", OutcomeCode::ElfNotC28x;
    const std::uint16_t machine = le16(&h[18]);
    if (machine != kMachineC28x) {
        detail = "it is for machine " + std::to_string(machine) + " (the C28x is 141)";
        return OutcomeCode::ElfNotC28x;
    }
    out = {le32(&h[28]), le32(&h[32]), le16(&h[42]), le16(&h[44]), le16(&h[46]), le16(&h[48]), le16(&h[50])};
    if (le16(&h[16]) != kTypeExecutable || out.phnum == 0) {
        detail = "it is not an executable with loadable segments";
        return OutcomeCode::ElfNotProgram;
    }
    if (out.phentsize < kProgramHeaderBytes || out.phnum > kMaxHeaders ||
        std::uint64_t{out.phoff} + std::uint64_t{out.phentsize} * out.phnum > file.length()) {
        detail = "the program headers lie outside the file";
        return OutcomeCode::ElfDamaged;
    }
    return OutcomeCode::Ok;
}

// An allocated section with data: where it lies in the file, and its name.
struct NamedSection {
    std::uint32_t offset, size;
    std::string name;
};

// The sections' names, to name the segments that hold them; none when the
// section headers are missing or damaged (they are not needed to program).
std::vector<NamedSection> sectionNames(Stream& file, const ElfHeader& e) {
    std::vector<NamedSection> named;
    if (e.shnum == 0 || e.shnum > kMaxHeaders || e.shentsize < kSectionHeaderBytes || e.shstrndx >= e.shnum ||
        std::uint64_t{e.shoff} + std::uint64_t{e.shentsize} * e.shnum > file.length())
        return named;
    std::array<std::uint8_t, kSectionHeaderBytes> sh{};
    std::uint32_t strOffset = 0, strSize = 0;
    if (file.readAt(std::uint64_t{e.shoff} + std::uint64_t{e.shentsize} * e.shstrndx, sh.data(), sh.size())) {
        strOffset = le32(&sh[16]);
        strSize = le32(&sh[20]);
    }
    for (std::uint32_t i = 0; i < e.shnum; ++i) {
        if (!file.readAt(std::uint64_t{e.shoff} + std::uint64_t{e.shentsize} * i, sh.data(), sh.size())) break;
        if ((le32(&sh[8]) & kSectionAlloc) == 0 || le32(&sh[4]) == kSectionNoBits || le32(&sh[20]) == 0) continue;
        std::string name;
        const std::uint32_t at = le32(&sh[0]);
        char c = 0;
        for (std::uint32_t k = 0; at < strSize && k < kMaxNameBytes && at + k < strSize; ++k) {
            if (!file.readAt(std::uint64_t{strOffset} + at + k, &c, 1) || c == 0) break;
            name.push_back(c);
        }
        named.push_back({le32(&sh[16]), le32(&sh[20]), std::move(name)});
    }
    return named;
}

// Whether a loadable segment's sizes hold together inside the file.
OutcomeCode checkSegment(const Segment& seg, std::uint32_t memsz, std::uint64_t fileLength, std::string& detail) {
    if (seg.filesz > memsz) {
        detail = "a segment holds " + std::to_string(seg.filesz) + " bytes of file data for " + std::to_string(memsz) +
                 " bytes of memory";
        return OutcomeCode::ElfDamaged;
    }
    if (seg.filesz % 2 != 0) {
        detail = "a segment of " + std::to_string(seg.filesz) + " bytes is not whole 16-bit words";
        return OutcomeCode::ElfDamaged;
    }
    if (std::uint64_t{seg.offset} + seg.filesz > fileLength) {
        detail = "a segment's data lies past the end of the file";
        return OutcomeCode::ElfDamaged;
    }
    return OutcomeCode::Ok;
}

// The names of the sections a segment holds, joined with '+'.
std::string segmentName(const Segment& seg, const std::vector<NamedSection>& named) {
    std::string name;
    for (const NamedSection& n : named) {
        if (n.offset >= seg.offset && std::uint64_t{n.offset} + n.size <= std::uint64_t{seg.offset} + seg.filesz) {
            if (name.size() + n.name.size() > kMaxNameBytes) break;
            name += (name.empty() ? "" : "+") + n.name;
        }
    }
    return name;
}

}  // namespace

OutcomeCode readElf(std::istream& in, CoffImage& image, std::string& detail) {
    Stream file(in);
    ElfHeader e;
    if (const OutcomeCode r = readHeader(file, e, detail); r != OutcomeCode::Ok) return r;
    const std::vector<NamedSection> named = sectionNames(file, e);

    std::vector<ProgramBlock> blocks;
    std::array<std::uint8_t, kProgramHeaderBytes> ph{};
    for (std::uint32_t i = 0; i < e.phnum; ++i) {
        if (!file.readAt(std::uint64_t{e.phoff} + std::uint64_t{e.phentsize} * i, ph.data(), ph.size()))
            return OutcomeCode::FileError;
        if (le32(&ph[0]) != kLoadSegment) continue;
        const Segment seg{le32(&ph[4]), le32(&ph[12]), le32(&ph[16])};
        if (seg.filesz == 0) continue;  // stack, .bss, registers: nothing to program
        if (const OutcomeCode r = checkSegment(seg, le32(&ph[20]), file.length(), detail); r != OutcomeCode::Ok)
            return r;
        blocks.push_back({seg.paddr, seg.filesz / 2, seg.offset, segmentName(seg, named), false});
    }
    if (blocks.empty()) {
        detail = "the ELF file has no loadable data";
        return OutcomeCode::ElfNotProgram;
    }
    ElfDecoder decoder(file);
    const OutcomeCode built = buildSections(std::move(blocks), decoder, image, OutcomeCode::ElfDamaged, detail);
    if (built == OutcomeCode::ElfDamaged && detail.empty()) return OutcomeCode::FileError;
    return built;
}

}  // namespace cvl
