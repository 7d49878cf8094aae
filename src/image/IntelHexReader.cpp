#include "image/IntelHexReader.h"

#include <cstring>
#include <vector>

#include "image/HexRecordParser.h"
#include "image/ProgramBlocks.h"

namespace cvl {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kCtrlZ = 0x1A;

std::string at(std::uint64_t line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

// The words were decoded in file order to the front of the image buffer;
// sections take them in address order, from a copy once the orders differ.
class HexDecoder : public BlockDecoder {
public:
    HexDecoder(const std::uint8_t* decoded, std::size_t bytes) : decoded_(decoded), bytes_(bytes) {}
    bool decode(const ProgramBlock& block, std::uint8_t* out) override {
        const std::uint8_t* from = decoded_ + block.source;
        if (from == out && aside_.empty()) return true;
        if (aside_.empty()) aside_.assign(decoded_, decoded_ + bytes_);
        std::memmove(out, aside_.data() + block.source, std::size_t{block.words} * 2);
        return true;
    }

private:
    const std::uint8_t* decoded_;
    std::size_t bytes_;
    std::vector<std::uint8_t> aside_;
};

// Whether the file is one of hex2000's byte-lane files (an 8-bit ROM width:
// one byte per word address), told by what no 16-bit file shows: records that
// follow each other at their byte count, not half of it, three in a row
// with one count, and never a record that follows at half its predecessor's
// count. (One such step alone also happens in a 16-bit file, between two
// blocks whose gap is as long as the first block's last record.)
class ByteLaneEvidence {
public:
    void record(std::uint32_t address, std::uint32_t count, std::uint64_t line) {
        if (count_ > 0 && address == last_ + count_ / 2) wordStep_ = true;
        const bool byteStep = count_ > 0 && address == last_ + count_ && count == count_;
        run_ = byteStep ? run_ + 1 : 0;
        if (run_ == 1) runLine_ = line;
        if (run_ >= 2 && firstLine_ == 0) firstLine_ = runLine_;
        last_ = address;
        count_ = count;
    }
    // The line where the evidence starts, or 0 when the file reads as 16-bit words.
    std::uint64_t line() const { return wordStep_ ? 0 : firstLine_; }

private:
    std::uint32_t last_ = 0;
    std::uint32_t count_ = 0;
    unsigned run_ = 0;
    std::uint64_t runLine_ = 0;
    std::uint64_t firstLine_ = 0;
    bool wordStep_ = false;
};

class HexFile {
public:
    HexFile(CoffImage& image, std::string& detail) : image_(image), detail_(detail), writer_(image) {}

    OutcomeCode read(std::string_view text) {
        if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
        std::uint64_t line = 0;
        while (!text.empty()) {
            ++line;
            const std::size_t end = text.find('\n');
            std::string_view record = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
            if (record.empty()) continue;
            if (ended_) {
                if (onlyCtrlZ(record, text)) break;  // old DOS tools end the text so
                detail_ = at(line, "data after the end record");
                return OutcomeCode::HexDamaged;
            }
            const OutcomeCode code = take(record, line);
            if (code != OutcomeCode::Ok) return code;
        }
        if (!ended_) {
            detail_ = "no end record: the file is cut short";
            return OutcomeCode::HexDamaged;
        }
        if (const std::uint64_t lane = lanes_.line(); lane != 0) {
            detail_ = at(lane, "one byte per word address");
            return OutcomeCode::HexByteLane;
        }
        writer_.wrote(0, fill_, fill_);
        HexDecoder decoder(image_.buffer(), fill_);
        return buildSections(std::move(blocks_), decoder, image_, OutcomeCode::HexDamaged, detail_);
    }

private:
    static bool onlyCtrlZ(std::string_view record, std::string_view rest) {
        const auto ctrlZOrSpace = [](std::string_view s) {
            return s.find_first_not_of(std::string_view("\x1A \t\r\n", 5)) == std::string_view::npos;
        };
        return record.front() == kCtrlZ && ctrlZOrSpace(record) && ctrlZOrSpace(rest);
    }

    OutcomeCode take(std::string_view line, std::uint64_t number) {
        HexRecord parsed;
        bool fits = true;
        const std::size_t room = CoffImage::kBufferBytes - fill_;
        if (const char* reason = parseHexRecord(line, parsed, image_.buffer() + fill_, room, fits)) {
            detail_ = at(number, reason);
            return OutcomeCode::HexDamaged;
        }
        switch (parsed.kind) {
            case HexRecord::Kind::Data:
                if (!fits) return OutcomeCode::TooLarge;
                addData(parsed, number);
                break;
            case HexRecord::Kind::Base:
                base_ = parsed.base;
                segmented_ = parsed.segment;
                break;
            case HexRecord::Kind::End:
                ended_ = true;
                break;
            case HexRecord::Kind::Nothing:
                break;
        }
        return OutcomeCode::Ok;
    }

    // One data record's words, joined to the run before when they follow it.
    // Under a segment base (type 02) the offset wraps at 64 K words, as
    // Intel's segment addressing does; a linear base (type 04) does not wrap.
    void addData(const HexRecord& r, std::uint64_t line) {
        const std::uint32_t words = r.count / 2u;
        const std::uint32_t address = base_ + r.offset;
        lanes_.record(address, r.count, line);
        const std::uint32_t first = segmented_ ? std::min<std::uint32_t>(words, 0x10000u - r.offset) : words;
        addWords(address, first);
        if (first < words) addWords(base_, words - first);
    }

    void addWords(std::uint32_t address, std::uint32_t words) {
        const bool follows = !blocks_.empty() &&
                             blocks_.back().address + std::uint64_t{blocks_.back().words} == address &&
                             blocks_.back().source + std::uint64_t{blocks_.back().words} * 2 == fill_;
        if (follows) {
            blocks_.back().words += words;
        } else {
            blocks_.push_back({address, words, fill_, "", true});
        }
        fill_ += std::size_t{words} * 2;
    }

    CoffImage& image_;
    std::string& detail_;
    CoffBufferWriter writer_;
    std::vector<ProgramBlock> blocks_;
    std::size_t fill_ = 0;
    std::uint32_t base_ = 0;
    bool segmented_ = false;
    bool ended_ = false;
    ByteLaneEvidence lanes_;
};

}  // namespace

OutcomeCode readIntelHex(std::string_view text, CoffImage& image, std::string& detail) {
    HexFile file(image, detail);
    return file.read(text);
}

}  // namespace cvl
