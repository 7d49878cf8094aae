#include "image/IntelHexReader.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/ProgramBlocks.h"

namespace cvl {

namespace {

constexpr std::size_t kMaxLineChars = 2 * (5 + 255) + 1 + 2;  // ':', 260 bytes as hex, CR LF

// Digit values, 16 for anything that is not a hexadecimal digit.
constexpr std::array<std::uint8_t, 256> kDigit = [] {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t) v = 16;
    for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c) t['A' + c] = t['a' + c] = static_cast<std::uint8_t>(10 + c);
    return t;
}();

// The byte at text[pos..pos+2), or -1.
int hexByte(std::string_view text, std::size_t pos) {
    const unsigned hi = kDigit[static_cast<std::uint8_t>(text[pos])];
    const unsigned lo = kDigit[static_cast<std::uint8_t>(text[pos + 1])];
    return (hi | lo) > 15 ? -1 : static_cast<int>((hi << 4) | lo);
}

// The data words, decoded once while the records are checked, in record order.
class HexDecoder : public BlockDecoder {
public:
    explicit HexDecoder(const std::vector<std::uint8_t>& words) : words_(words) {}
    // source: the byte offset of the block's words in the decoded data.
    bool decode(const ProgramBlock& block, std::uint8_t* out) override {
        std::memcpy(out, words_.data() + block.source, std::size_t{block.words} * 2);
        return true;
    }

private:
    const std::vector<std::uint8_t>& words_;
};

std::string at(std::size_t line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

}  // namespace

OutcomeCode readIntelHex(std::string_view text, CoffImage& image, std::string& detail) {
    std::vector<ProgramBlock> blocks;
    std::vector<std::uint8_t> decoded;
    decoded.reserve(text.size() / 2);
    std::uint32_t base = 0;
    bool ended = false;
    std::size_t line = 0;
    // Steps between consecutive data records: with 16-bit words the next
    // record starts half the byte count on, with one byte a word address
    // (an 8-bit ROM width, hex2000's .i01/.i10 byte lanes) the byte count on.
    std::uint32_t lastAddress = 0;
    std::uint32_t lastCount = 0;
    std::size_t wordSteps = 0;
    std::size_t byteSteps = 0;
    std::size_t firstByteStepLine = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view rec = text.substr(pos, end - pos);
        pos = end + 1;
        ++line;
        if (!rec.empty() && rec.back() == '\r') rec.remove_suffix(1);
        if (rec.empty()) continue;
        if (ended) {
            detail = at(line, "data after the end record");
            return OutcomeCode::HexDamaged;
        }
        if (rec.size() > kMaxLineChars || rec[0] != ':' || rec.size() < 11 || (rec.size() - 1) % 2 != 0) {
            detail = at(line, "not an Intel HEX record");
            return OutcomeCode::HexDamaged;
        }
        const std::size_t count = static_cast<std::size_t>(hexByte(rec, 1));
        if (static_cast<int>(count) < 0 || rec.size() != 11 + 2 * count) {
            detail = at(line, "the byte count does not match the record");
            return OutcomeCode::HexDamaged;
        }
        unsigned sum = 0;
        std::uint8_t bytes[260];
        for (std::size_t i = 1, k = 0; i < rec.size(); i += 2, ++k) {
            const int b = hexByte(rec, i);
            if (b < 0) {
                detail = at(line, "not a hexadecimal digit");
                return OutcomeCode::HexDamaged;
            }
            bytes[k] = static_cast<std::uint8_t>(b);
            sum += static_cast<unsigned>(b);
        }
        if ((sum & 0xFF) != 0) {
            detail = at(line, "checksum error");
            return OutcomeCode::HexDamaged;
        }
        const std::uint32_t offset = static_cast<std::uint32_t>((hexByte(rec, 3) << 8) | hexByte(rec, 5));
        const int type = hexByte(rec, 7);
        const auto field16 = [&] { return static_cast<std::uint32_t>((hexByte(rec, 9) << 8) | hexByte(rec, 11)); };
        switch (type) {
            case 0: {
                if (count % 2 != 0) {
                    detail = at(line, "an odd number of bytes: not 16-bit words");
                    return OutcomeCode::HexDamaged;
                }
                const std::uint32_t address = base + offset;
                if (count == 0) break;
                if (lastCount > 0 && address == lastAddress + lastCount / 2) ++wordSteps;
                if (lastCount > 0 && address == lastAddress + lastCount && byteSteps++ == 0) firstByteStepLine = line;
                lastAddress = address;
                lastCount = static_cast<std::uint32_t>(count);
                if (decoded.size() + count > CoffImage::kBufferBytes) return OutcomeCode::TooLarge;
                const std::uint64_t source = decoded.size();
                for (std::size_t k = 0; k < count; k += 2) {  // each word high byte first on the line
                    decoded.push_back(bytes[4 + k + 1]);
                    decoded.push_back(bytes[4 + k]);
                }
                blocks.push_back({address, static_cast<std::uint32_t>(count / 2), source, "", true});
                break;
            }
            case 1:
                ended = true;
                break;
            case 2:
                if (count != 2) {
                    detail = at(line, "a segment address record of another length");
                    return OutcomeCode::HexDamaged;
                }
                base = field16() << 4;
                break;
            case 4:
                if (count != 2) {
                    detail = at(line, "a linear address record of another length");
                    return OutcomeCode::HexDamaged;
                }
                base = field16() << 16;
                break;
            case 3:
            case 5:
                break;  // a start address: nothing to load
            default:
                detail = at(line, "unknown record type");
                return OutcomeCode::HexDamaged;
        }
    }
    if (!ended) {
        detail = "no end record: the file is cut short";
        return OutcomeCode::HexDamaged;
    }
    if (byteSteps > 0 && wordSteps == 0) {
        detail = at(firstByteStepLine, "one byte per word address");
        return OutcomeCode::HexByteLane;
    }
    HexDecoder decoder(decoded);
    return buildSections(std::move(blocks), decoder, image, OutcomeCode::HexDamaged, detail);
}

}  // namespace cvl
