#include "image/CoffReader.h"

#include "image/LittleEndian.h"
#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string_view>

namespace cvl {

namespace {

constexpr std::uint16_t kC28xTargetId = 0x009D;  // also the version-0 magic
constexpr std::uint16_t kVersion1Id = 0x00C1;
constexpr std::uint16_t kVersion2Id = 0x00C2;
constexpr std::size_t kFileHeaderV0 = 20;
constexpr std::size_t kFileHeaderV12 = 22;
constexpr std::uint64_t kOptionalHeaderBytes = 28;  // TI's optional header, whatever its size field says
constexpr std::uint32_t kSymbolEntryBytes = 18;
constexpr std::size_t kSectionHeaderV01 = 40;
constexpr std::size_t kSectionHeaderV2 = 48;
constexpr std::uint32_t kSkipFlags = 0x13;  // dummy, no-load, copy
// A long name longer than this is cut: no linker writes one, and without a
// bound a file of many sections pointing at one unterminated string would
// make the reader crawl through it again and again.
constexpr std::size_t kMaxNameBytes = 4096;

constexpr std::array<std::string_view, 6> kNeverLoaded = {".stack",        "CsmPwlFile",  ".debug_frame",
                                                          ".debug_abbrev", ".debug_info", ".debug_line"};

// Positioned reads on the stream; every failure is reported, never thrown.
class FileView {
public:
    explicit FileView(std::istream& in) : in_(in) {}

    bool measure() {
        in_.clear();
        in_.seekg(0, std::ios::end);
        const auto end = in_.tellg();
        if (in_.fail() || end < 0) return false;
        length_ = static_cast<std::uint64_t>(end);
        return true;
    }
    std::uint64_t length() const { return length_; }

    // Reads exactly n bytes at pos; false when the file holds fewer.
    bool readAt(std::uint64_t pos, void* dst, std::size_t n) {
        return pos <= length_ && length_ - pos >= n && readSome(pos, dst, n) == n;
    }

    // Reads up to n bytes at pos and returns how many came; a position past
    // the end gives 0. Sets failed() when the stream itself broke.
    std::size_t readSome(std::uint64_t pos, void* dst, std::size_t n) {
        if (pos >= length_ || n == 0) return 0;
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(pos));
        if (in_.fail()) {
            failed_ = true;
            return 0;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(n, length_ - pos));
        in_.read(static_cast<char*>(dst), static_cast<std::streamsize>(want));
        const auto got = static_cast<std::size_t>(in_.gcount());
        if (in_.bad() || got < want) failed_ = true;
        return got;
    }
    bool failed() const { return failed_; }

private:
    std::istream& in_;
    std::uint64_t length_ = 0;
    bool failed_ = false;
};

std::string readLongName(FileView& file, std::uint64_t pos) {
    std::string name;
    char chunk[256];
    while (name.size() < kMaxNameBytes) {
        const std::size_t want = std::min(sizeof chunk, kMaxNameBytes - name.size());
        const std::size_t got = file.readSome(pos, chunk, want);
        if (got == 0) break;  // end of file ends the name
        const void* nul = std::memchr(chunk, 0, got);
        if (nul != nullptr) {
            name.append(chunk, static_cast<const char*>(nul) - chunk);
            break;
        }
        name.append(chunk, got);
        pos += got;
    }
    return name;
}

bool neverLoaded(std::string_view name) {
    return std::find(kNeverLoaded.begin(), kNeverLoaded.end(), name) != kNeverLoaded.end();
}

}  // namespace

bool hasCoffSignature(const std::uint8_t* head, std::size_t size) {
    if (size < 2) return false;
    const std::uint16_t id = le16(head);
    if (id == kC28xTargetId || id == kVersion1Id || id == kVersion2Id) return true;
    // Another version of the family, with the C28x target ID where versions 1 and 2 keep it.
    return (id & 0xFFF0) == 0x00C0 && size >= kFileHeaderV12 && le16(head + 20) == kC28xTargetId;
}

CoffReadResult readCoff(std::istream& in, CoffImage& image) {
    std::string ignored;
    return readCoff(in, image, ignored);
}

namespace {

// The file header's fields the reader uses, and where the section headers begin.
struct CoffHeader {
    int version = 0;
    std::uint16_t sectionHeaders = 0;
    std::uint64_t headersStart = 0;
    bool hasStringTable = false;
    std::uint32_t stringTable = 0;  // its file offset
};

// Reads and checks the file header and the optional header's size.
CoffReadResult readFileHeader(FileView& file, CoffHeader& out, std::string& reason) {
    if (!file.measure()) return CoffReadResult::FileError;
    if (file.length() == 0) return reason = "the file is empty", CoffReadResult::NotCoff;
    if (file.length() < kFileHeaderV12) {
        reason = "its file header is cut short (" + std::to_string(file.length()) + " of " +
                 std::to_string(kFileHeaderV12) + " bytes)";
        return CoffReadResult::NotCoff;
    }
    std::uint8_t header[kFileHeaderV12];
    if (!file.readAt(0, header, sizeof header)) return CoffReadResult::FileError;
    const std::uint16_t id = le16(header);
    std::uint64_t pos = 0;
    if (id == kC28xTargetId) {
        out.version = 0;
        pos = kFileHeaderV0;
    } else if (id == kVersion1Id || id == kVersion2Id) {
        if (le16(header + 20) != kC28xTargetId) return CoffReadResult::WrongTarget;
        out.version = id - 0x00C0;
        pos = kFileHeaderV12;
    } else if ((id & 0xFFF0) == 0x00C0 && le16(header + 20) == kC28xTargetId) {
        char text[80];
        std::snprintf(text, sizeof text, "COFF version ID 0x%04X is not one this reader knows (0x00C1, 0x00C2)", id);
        return reason = text, CoffReadResult::NotCoff;
    } else {
        return reason = "it carries no COFF version ID", CoffReadResult::NotCoff;
    }
    out.sectionHeaders = le16(header + 2);
    const std::uint32_t symbolPos = le32(header + 8);
    const std::uint32_t symbolCount = le32(header + 12);
    if (le16(header + 16) != 0) {  // an optional header
        if (file.length() < pos + kOptionalHeaderBytes)
            return reason = "its optional header is cut short", CoffReadResult::NotCoff;
        pos += kOptionalHeaderBytes;
    }
    out.headersStart = pos;
    // A file stripped of its symbols has no string table either; its long
    // names (if any) then come out empty.
    out.hasStringTable = symbolPos != 0 || symbolCount != 0;
    out.stringTable = symbolPos + kSymbolEntryBytes * symbolCount;         // 32-bit, as the format does
    if (out.stringTable >= 0x80000000u) return CoffReadResult::FileError;  // a negative file offset
    return CoffReadResult::Ok;
}

// The string table, when there is one, lies wholly inside the file.
CoffReadResult checkStringTable(FileView& file, const CoffHeader& h, std::string& reason) {
    if (!h.hasStringTable) return CoffReadResult::Ok;
    std::uint8_t sizeField[4];
    if (file.length() < std::uint64_t{h.stringTable} + 4) {
        reason = "its symbol table runs past the end of the file";
        return CoffReadResult::NotCoff;
    }
    if (!file.readAt(h.stringTable, sizeField, sizeof sizeField)) return CoffReadResult::FileError;
    if (file.length() < std::uint64_t{h.stringTable} + le32(sizeField)) {
        reason = "its string table (" + std::to_string(le32(sizeField)) + " bytes) runs past the end of the file";
        return CoffReadResult::NotCoff;
    }
    return CoffReadResult::Ok;
}

// A section header's name: eight bytes in place, or a long name in the string table.
std::string sectionName(FileView& file, const CoffHeader& h, const std::uint8_t* sh) {
    std::string name;
    if (le32(sh) == 0) {
        if (h.hasStringTable) name = readLongName(file, std::uint64_t{h.stringTable} + le32(sh + 4));
    } else {
        const void* nul = std::memchr(sh, 0, 8);
        name.assign(reinterpret_cast<const char*>(sh), nul ? static_cast<const std::uint8_t*>(nul) - sh : 8);
    }
    if (!name.empty() && name.front() == '_') name.erase(0, 1);
    return name;
}

// One section header: its section's words into the buffer at fill, when it
// is loaded data.
CoffReadResult readSection(FileView& file, const CoffHeader& h, const std::uint8_t* sh, CoffImage& image,
                           CoffBufferWriter& buffer, std::uint64_t& fill) {
    std::string name = sectionName(file, h, sh);
    if (file.failed()) return CoffReadResult::FileError;
    if (mcuInfo(image.mcuType) == nullptr && image.mcuType != kAnyDevice) return CoffReadResult::Ok;
    const std::uint32_t lengthWords = le32(sh + 16);
    const std::uint32_t rawPos = le32(sh + 20);
    const std::uint32_t flags = (h.version == 2 ? le32(sh + 40) : le16(sh + 36)) & 0xFF;
    if (lengthWords == 0 || rawPos == 0 || (flags & kSkipFlags) != 0 || neverLoaded(name)) return CoffReadResult::Ok;

    const std::uint64_t bytes = std::uint64_t{lengthWords} * 2;
    if (fill + bytes > CoffImage::kBufferBytes) return CoffReadResult::TooLarge;
    SectionRecord record;
    record.name = std::move(name);
    record.lengthWords = lengthWords;
    record.startAddress = le32(sh + 12);
    record.streamOffset = static_cast<std::uint32_t>(fill);
    record.data = buffer.at(fill);
    classifySection(image.mcuType, record);
    // A file that ends inside the data leaves the rest of the words 0xFFFF.
    const std::size_t got = file.readSome(rawPos, buffer.at(fill), bytes);
    buffer.wrote(fill, bytes, got);
    if (file.failed()) return CoffReadResult::FileError;
    fill += bytes;
    image.sections.push_back(std::move(record));
    return CoffReadResult::Ok;
}

}  // namespace

CoffReadResult readCoff(std::istream& in, CoffImage& image, std::string& reason) {
    FileView file(in);
    CoffHeader h;
    if (const CoffReadResult r = readFileHeader(file, h, reason); r != CoffReadResult::Ok) return r;
    if (const CoffReadResult r = checkStringTable(file, h, reason); r != CoffReadResult::Ok) return r;

    CoffBufferWriter buffer(image);  // clears the image
    std::uint64_t fill = 0;
    const std::size_t headerBytes = h.version == 2 ? kSectionHeaderV2 : kSectionHeaderV01;
    std::uint8_t sh[kSectionHeaderV2];
    try {
        for (std::uint32_t i = 0; i < h.sectionHeaders; ++i) {
            if (!file.readAt(h.headersStart + std::uint64_t{i} * headerBytes, sh, headerBytes)) {
                if (file.failed()) return CoffReadResult::FileError;
                reason = "section header " + std::to_string(i + 1) + " of " + std::to_string(h.sectionHeaders) +
                         " is cut short";
                return CoffReadResult::NotCoff;
            }
            if (const CoffReadResult r = readSection(file, h, sh, image, buffer, fill); r != CoffReadResult::Ok)
                return r;
        }
    } catch (const std::bad_alloc&) {
        return CoffReadResult::MemoryError;
    }
    buffer.finish(fill);
    if (image.sectionCount() > 0) image.totalBytes = static_cast<std::uint32_t>(fill);
    return CoffReadResult::Ok;
}

CoffReadResult readCoff(const std::string& path, CoffImage& image) {
    // Only regular files: a directory opens for reading on Linux, and a FIFO
    // or device node could block the window forever.
    std::error_code ec;
    const auto status = std::filesystem::status(nativePath(path), ec);
    if (ec || !std::filesystem::is_regular_file(status)) return CoffReadResult::OpenFailed;
    std::ifstream in(nativePath(path), std::ios::binary);
    if (!in.is_open()) return CoffReadResult::OpenFailed;
    return readCoff(in, image);
}

}  // namespace cvl
