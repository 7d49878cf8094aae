#include "image/IntelHexReader.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "image/HexPartReader.h"
#include "image/HexRecordKernel.h"
#include "image/ProgramBlocks.h"

namespace cvl {

namespace {

// Text per part: parts are handed out as threads come free, so a thread
// that starts late takes fewer of them.
constexpr std::uint64_t kPartBytes = 256 * 1024;
constexpr std::uint64_t kMaxParts = 256;
constexpr unsigned kMaxThreads = 4;

// Hands out parts: this thread takes them from the front, so it can decode
// each right after the one before; helpers take them from the back.
class PartQueue {
public:
    explicit PartQueue(std::size_t parts) : back_(parts) {}
    bool front(std::size_t& part) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (front_ == back_) return false;
        part = front_++;
        return true;
    }
    bool back(std::size_t& part) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (front_ == back_) return false;
        part = --back_;
        return true;
    }

private:
    std::mutex mutex_;
    std::size_t front_ = 0;
    std::size_t back_;
};

// The words are decoded in file order into the image buffer; sections take
// them in address order. When the two orders agree every block is already in
// place; otherwise the decoded words are copied aside first.
class HexDecoder : public BlockDecoder {
public:
    HexDecoder(const std::uint8_t* decoded, std::size_t bytes) : decoded_(decoded), bytes_(bytes) {}
    bool decode(const ProgramBlock& block, std::uint8_t* out) override {
        const std::uint8_t* from = decoded_ + block.source;
        if (from == out && aside_.empty()) return true;
        if (aside_.empty()) aside_.assign(decoded_, decoded_ + bytes_);
        std::memcpy(out, aside_.data() + block.source, std::size_t{block.words} * 2);
        return true;
    }

private:
    const std::uint8_t* decoded_;
    std::size_t bytes_;
    std::vector<std::uint8_t> aside_;
};

std::string at(std::uint64_t line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

// Takes the parts' entries in file order with what depends on earlier lines:
// the address base, the end record, the steps between data records (words
// or bytes per address) and the total size. The parts' words are moved down
// to follow each other.
class PartMerger {
public:
    PartMerger(CoffImage& image, std::string& detail) : image_(image), detail_(detail) {}

    OutcomeCode take(const HexPart& part) {
        // A part's words never start below where they belong (see kPlaceByText);
        // the size check only keeps the move inside the buffer whatever happens.
        if (fill_ + part.wrote > CoffImage::kBufferBytes) return OutcomeCode::TooLarge;
        std::uint8_t* buffer = image_.buffer();
        if (part.wrote > 0 && part.outStart != fill_) std::memmove(buffer + fill_, buffer + part.outStart, part.wrote);
        const std::uint64_t partFill = fill_;
        for (const HexEntry& e : part.entries) {
            const std::uint64_t line = lines_ + e.line;
            if (e.kind == HexEntry::Kind::ReadFailed) return OutcomeCode::FileError;
            if (ended_) {
                detail_ = at(line, "data after the end record");
                return OutcomeCode::HexDamaged;
            }
            switch (e.kind) {
                case HexEntry::Kind::Refused:
                    detail_ = at(line, e.reason);
                    return OutcomeCode::HexDamaged;
                case HexEntry::Kind::Full:
                    return OutcomeCode::TooLarge;
                case HexEntry::Kind::End:
                    ended_ = true;
                    break;
                case HexEntry::Kind::Base:
                    base_ = e.base;
                    break;
                case HexEntry::Kind::Data:
                    takeRun(e, line, partFill);
                    break;
                default:
                    break;
            }
        }
        lines_ += part.lines;
        fill_ = partFill + part.wrote;
        return OutcomeCode::Ok;
    }

    OutcomeCode finish() {
        if (!ended_) {
            detail_ = "no end record: the file is cut short";
            return OutcomeCode::HexDamaged;
        }
        if (byteSteps_ > 0 && wordSteps_ == 0) {
            detail_ = at(firstByteStepLine_, "one byte per word address");
            return OutcomeCode::HexByteLane;
        }
        HexDecoder decoder(image_.buffer(), static_cast<std::size_t>(fill_));
        return buildSections(std::move(blocks_), decoder, image_, OutcomeCode::HexDamaged, detail_);
    }

private:
    // With 16-bit words the next record starts half the byte count on, with
    // one byte a word address (an 8-bit ROM width, hex2000's .i01/.i10 byte
    // lanes) the byte count on. Within a run every step is a word step.
    void takeRun(const HexEntry& run, std::uint64_t line, std::uint64_t partFill) {
        const std::uint32_t address = base_ + run.offset;
        if (lastCount_ > 0 && address == lastAddress_ + lastCount_ / 2) ++wordSteps_;
        if (lastCount_ > 0 && address == lastAddress_ + lastCount_ && byteSteps_++ == 0) firstByteStepLine_ = line;
        wordSteps_ += run.records - 1;
        lastAddress_ = base_ + run.lastOffset;
        lastCount_ = run.lastCount;
        blocks_.push_back({address, run.words, partFill + run.source, "", true});
    }

    CoffImage& image_;
    std::string& detail_;
    std::vector<ProgramBlock> blocks_;
    std::uint64_t lines_ = 0;
    std::uint64_t fill_ = 0;
    std::uint32_t base_ = 0;
    bool ended_ = false;
    std::uint32_t lastAddress_ = 0;
    std::uint32_t lastCount_ = 0;
    std::uint64_t wordSteps_ = 0;
    std::uint64_t byteSteps_ = 0;
    std::uint64_t firstByteStepLine_ = 0;
};

}  // namespace

OutcomeCode readIntelHex(const HexText& text, CoffImage& image, std::string& detail, HexReadOptions options) {
    const std::uint64_t size = text.size();
    const std::size_t parts = static_cast<std::size_t>(
        options.parts != 0 ? std::min<std::uint64_t>(options.parts, std::max<std::uint64_t>(size, 1))
                           : std::clamp<std::uint64_t>(size / kPartBytes, 1, kMaxParts));
    // A helper's part decodes at half its text offset, inside the buffer only
    // for text of up to twice its size; more is read by this thread alone.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    unsigned threads = options.threads != 0 ? options.threads : std::min(cores, kMaxThreads);
    if (parts < 2 || size > 2 * CoffImage::kBufferBytes) threads = 1;
    const bool kernel = options.vectorDecoder && fullRecordKernelAvailable();

    CoffBufferWriter writer(image);
    std::vector<HexPart> split(parts);
    for (std::size_t i = 0; i < parts; ++i) {
        split[i].begin = size * i / parts;
        split[i].end = size * (i + 1) / parts;
    }
    // A part that meets no memory is marked rather than escaping its thread.
    std::vector<std::uint8_t> outOfMemory(parts, 0);
    const auto readPart = [&](std::size_t i) {
        try {
            readHexPart(text, split[i], image.buffer(), CoffImage::kBufferBytes, kernel);
        } catch (const std::bad_alloc&) {
            outOfMemory[i] = 1;
        }
    };
    PartQueue queue(parts);
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    // Joined on every way out: a thread left running would end the program.
    struct Joiner {
        std::vector<std::thread>& threads;
        ~Joiner() {
            for (std::thread& t : threads) {
                if (t.joinable()) t.join();
            }
        }
    } joiner{helpers};
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back([&] {
                for (std::size_t i = 0; queue.back(i);) readPart(i);
            });
        } catch (const std::system_error&) {
            break;  // this thread takes what the helper would have
        }
    }
    std::size_t fill = 0;
    for (std::size_t i = 0; queue.front(i);) {
        split[i].placeAt = fill;
        readPart(i);
        fill = split[i].outStart + split[i].wrote;
    }
    for (std::thread& t : helpers) t.join();
    for (std::size_t i = 0; i < parts; ++i) {
        if (outOfMemory[i]) return OutcomeCode::MemoryError;
        writer.wrote(split[i].outStart, split[i].wrote, split[i].wrote);
    }

    PartMerger merger(image, detail);
    for (const HexPart& part : split) {
        const OutcomeCode code = merger.take(part);
        if (code != OutcomeCode::Ok) return code;
    }
    return merger.finish();
}

OutcomeCode readIntelHex(std::string_view text, CoffImage& image, std::string& detail, HexReadOptions options) {
    return readIntelHex(MemoryHexText(text), image, detail, options);
}

}  // namespace cvl
