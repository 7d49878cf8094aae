#include "image/ProgramReader.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "image/CoffReader.h"
#include "image/ElfReader.h"
#include "image/IntelHexReader.h"
#include "image/ProgramBlocks.h"
#include "platform/Files.h"

namespace cvl {

namespace {

// A HEX file of a full 8 MiB program is about 18 MiB of text; far more is not one.
constexpr std::uint64_t kMaxTextBytes = 64ull << 20;

OutcomeCode fromCoff(CoffReadResult r) {
    switch (r) {
        case CoffReadResult::Ok:
            return OutcomeCode::Ok;
        case CoffReadResult::OpenFailed:
            return OutcomeCode::OpenFailed;
        case CoffReadResult::NotCoff:
            return OutcomeCode::NotCoff;
        case CoffReadResult::WrongTarget:
            return OutcomeCode::WrongTarget;
        case CoffReadResult::FileError:
            return OutcomeCode::FileError;
        case CoffReadResult::MemoryError:
            return OutcomeCode::MemoryError;
        case CoffReadResult::TooLarge:
            return OutcomeCode::TooLarge;
    }
    return OutcomeCode::FileError;
}

// A text record start: a colon, then hexadecimal digits (byte count and address).
bool looksLikeHex(const char* head, std::size_t n) {
    std::size_t i = 0;
    if (n >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0) i = 3;  // a UTF-8 byte-order mark
    while (i < n && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    if (i + 5 > n || head[i] != ':') return false;
    for (std::size_t k = i + 1; k < i + 5; ++k) {
        if (std::isxdigit(static_cast<unsigned char>(head[k])) == 0) return false;
    }
    return true;
}

bool looksLikeElf(const char* head, std::size_t n) {
    return n >= 4 && std::memcmp(head,
                                 "\x7F"
                                 "ELF",
                                 4) == 0;
}

// Which format's signature the first bytes carry, if any.
ProgramFormat signatureOf(const char* head, std::size_t n) {
    if (looksLikeElf(head, n)) return ProgramFormat::Elf;
    if (looksLikeHex(head, n)) return ProgramFormat::IntelHex;
    if (hasCoffSignature(reinterpret_cast<const std::uint8_t*>(head), n)) return ProgramFormat::Coff;
    return ProgramFormat::None;
}

// Reads the whole text through the descriptor whose type and size were
// checked. O_NONBLOCK and O_NOCTTY: should the path have become a FIFO or a
// terminal, opening it must neither wait nor make it this program's terminal.
OutcomeCode readHexFile(const std::string& path, CoffImage& image, std::string& detail) {
    std::string text;
    switch (readRegularFile(path, kMaxTextBytes, text)) {
        case ReadFileResult::Ok:
            return readIntelHex(text, image, detail);
        case ReadFileResult::TooLarge:
            return OutcomeCode::TooLarge;
        case ReadFileResult::Failed:
            return OutcomeCode::FileError;
        case ReadFileResult::NotRegular:
            break;
    }
    return OutcomeCode::OpenFailed;
}

class BinaryDecoder : public BlockDecoder {
public:
    explicit BinaryDecoder(std::istream& in) : in_(in) {}
    bool decode(const ProgramBlock& block, std::uint8_t* out) override {
        in_.clear();
        in_.seekg(0);
        in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(block.words) * 2);
        return static_cast<std::uint64_t>(in_.gcount()) == std::uint64_t{block.words} * 2;
    }

private:
    std::istream& in_;
};

OutcomeCode readBinary(std::istream& in, std::uint64_t size, std::uint32_t base, CoffImage& image,
                       std::string& detail) {
    if (size % 2 != 0) return OutcomeCode::NotWholeWords;
    if (size > CoffImage::kBufferBytes) return OutcomeCode::TooLarge;
    BinaryDecoder decoder(in);
    return buildSections({{base, static_cast<std::uint32_t>(size / 2), 0, "binary", true}}, decoder, image,
                         OutcomeCode::FileError, detail);
}

}  // namespace

namespace {
// A file with a format's signature, read as that format: damaged or not, it
// is never taken for a raw binary.
OutcomeCode readBySignature(ProgramFormat format, const std::string& path, std::istream& in, CoffImage& image,
                            std::string& detail) {
    image.format = format;
    switch (format) {
        case ProgramFormat::Elf:
            return readElf(in, image, detail);
        case ProgramFormat::IntelHex:
            return readHexFile(path, image, detail);
        default:
            return fromCoff(readCoff(in, image, detail));
    }
}
}  // namespace

OutcomeCode readProgram(const std::string& path, CoffImage& image, const ReadOptions& options, std::string& detail) {
    // Only regular files: a directory opens for reading on Linux, and a FIFO
    // or device node could block the window forever.
    std::error_code ec;
    const std::filesystem::path native = nativePath(path);
    const auto status = std::filesystem::status(native, ec);
    if (ec || !std::filesystem::is_regular_file(status)) return OutcomeCode::OpenFailed;
    const std::uint64_t size = std::filesystem::file_size(native, ec);
    std::ifstream in(native, std::ios::binary);
    if (ec || !in.is_open()) return OutcomeCode::OpenFailed;
    char head[64] = {};
    in.read(head, sizeof head);
    const auto got = static_cast<std::size_t>(in.gcount());
    in.clear();
    in.seekg(0);
    if (got == 0) {
        image.format = ProgramFormat::Coff;
        detail = "the file is empty";
        return OutcomeCode::NotCoff;
    }
    const ProgramFormat signature = signatureOf(head, got);
    try {
        if (signature != ProgramFormat::None) {
            const OutcomeCode code = readBySignature(signature, path, in, image, detail);
            if (code != OutcomeCode::Ok || !options.binaryBase) return code;
            // A program with addresses of its own takes none from the user.
            image.format = ProgramFormat::None;
            detail.clear();
            return OutcomeCode::BaseNotForProgram;
        }
        if (options.binaryBase) {
            image.format = ProgramFormat::Binary;
            return readBinary(in, size, *options.binaryBase, image, detail);
        }
        // Nothing marks a raw binary: without its load address a .bin (or,
        // where the front end asks so, any file no reader recognises) asks
        // for that address, and anything else is "not COFF".
        image.format = ProgramFormat::Coff;
        const std::u8string ext = native.extension().u8string();
        if (ext == u8".bin" || ext == u8".BIN" || options.unknownNeedsBase) return OutcomeCode::BinaryNeedsBase;
        return OutcomeCode::NotCoff;
    } catch (const std::bad_alloc&) {
        return OutcomeCode::MemoryError;
    }
}

}  // namespace cvl
