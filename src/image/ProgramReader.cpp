#include "image/ProgramReader.h"

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

bool looksLikeHex(const char* head, std::size_t n) {
    std::size_t i = 0;
    if (n >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0) i = 3;  // a UTF-8 byte-order mark
    while (i < n && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    return i < n && head[i] == ':';
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
// The formats that carry their own addresses, told apart by content.
OutcomeCode readByContent(const std::string& path, std::istream& in, const char* head, std::size_t got,
                          CoffImage& image, std::string& detail) {
    if (got >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') {
        image.format = ProgramFormat::Elf;
        return readElf(in, image, detail);
    }
    if (looksLikeHex(head, got)) {
        image.format = ProgramFormat::IntelHex;
        return readHexFile(path, image, detail);
    }
    image.format = ProgramFormat::Coff;
    return fromCoff(readCoff(in, image));
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
    char head[16] = {};
    in.read(head, sizeof head);
    const auto got = static_cast<std::size_t>(in.gcount());
    in.clear();
    in.seekg(0);
    try {
        if (options.binaryBase) {
            // A base makes the file a raw binary, whatever its first bytes
            // look like; only a file that reads in full as a program with
            // addresses of its own refuses it.
            std::string ignored;
            if (readByContent(path, in, head, got, image, ignored) == OutcomeCode::Ok) {
                image.format = ProgramFormat::None;
                return OutcomeCode::BaseNotForProgram;
            }
            in.clear();
            in.seekg(0);
            image.format = ProgramFormat::Binary;
            return readBinary(in, size, *options.binaryBase, image, detail);
        }
        const OutcomeCode code = readByContent(path, in, head, got, image, detail);
        if (code != OutcomeCode::NotCoff) return code;
        // Nothing marks a raw binary: without its load address a .bin (or,
        // where the front end asks so, any file no reader recognises) asks
        // for that address, and anything else is "not COFF".
        const std::u8string ext = native.extension().u8string();
        if (ext == u8".bin" || ext == u8".BIN" || options.unknownNeedsBase) return OutcomeCode::BinaryNeedsBase;
        return OutcomeCode::NotCoff;
    } catch (const std::bad_alloc&) {
        return OutcomeCode::MemoryError;
    }
}

}  // namespace cvl
