#include "image/HexPartReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "image/HexRecordKernel.h"
#include "image/HexRecordParser.h"

namespace cvl {

long long MemoryHexText::readAt(std::uint64_t offset, char* out, std::size_t n) const {
    if (offset >= text_.size()) return 0;
    const std::size_t count = std::min<std::size_t>(n, text_.size() - offset);
    std::memcpy(out, text_.data() + offset, count);
    return static_cast<long long>(count);
}

long long FileHexText::readAt(std::uint64_t offset, char* out, std::size_t n) const {
    for (;;) {
        const ssize_t got = ::pread(fd_, out, n, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) return got;
    }
}

namespace {

// Characters a line needs in view to be taken whole: the longest record and its line end.
constexpr std::size_t kLookAhead = kMaxHexLineChars + 2;
// Text read per call: small enough to stay in the cache while it is parsed.
constexpr std::size_t kWindowBytes = 256 * 1024;
// Full records the vector decoder takes per call.
constexpr std::size_t kBatch = 2048;

// A part's view of the text: a window that slides forward.
class TextWindow {
public:
    // Reads from `from` up to `limit`; a small text gets a small window.
    TextWindow(const HexText& text, std::uint64_t from, std::uint64_t limit)
        : text_(text),
          limit_(std::min(limit, text.size())),
          capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(kWindowBytes, limit_ > from ? limit_ - from : 1))),
          data_(new char[capacity_]) {}

    // Makes [pos, pos + min(want, limit - pos)) readable at at(pos); false on a read failure.
    bool hold(std::uint64_t pos, std::size_t want) {
        const std::uint64_t need = std::min<std::uint64_t>(want, limit_ > pos ? limit_ - pos : 0);
        if (pos >= start_ && pos + need <= start_ + length_) return true;
        const std::size_t keep = pos >= start_ && pos < start_ + length_ ? start_ + length_ - pos : 0;
        std::memmove(data_.get(), data_.get() + (length_ - keep), keep);
        start_ = pos;
        length_ = keep;
        while (length_ < capacity_ && start_ + length_ < limit_) {
            const std::size_t ask =
                static_cast<std::size_t>(std::min<std::uint64_t>(capacity_ - length_, limit_ - start_ - length_));
            const long long got = text_.readAt(start_ + length_, data_.get() + length_, ask);
            if (got <= 0) return false;
            length_ += static_cast<std::size_t>(got);
        }
        return true;
    }
    const char* at(std::uint64_t pos) const { return data_.get() + (pos - start_); }
    std::size_t available(std::uint64_t pos) const { return static_cast<std::size_t>(start_ + length_ - pos); }

private:
    const HexText& text_;
    std::uint64_t limit_;
    std::size_t capacity_;
    std::unique_ptr<char[]> data_;
    std::uint64_t start_ = 0;
    std::size_t length_ = 0;
};

// Records one data record: it continues the last run when nothing came
// between them and it starts where that run's last record ends.
void addData(HexPart& part, std::uint16_t offset, std::uint8_t count, std::uint64_t source) {
    if (!part.entries.empty()) {
        HexEntry& run = part.entries.back();
        if (run.kind == HexEntry::Kind::Data && offset == std::uint32_t{run.lastOffset} + run.lastCount / 2u) {
            run.lastOffset = offset;
            run.lastCount = count;
            run.records += 1;
            run.words += count / 2u;
            return;
        }
    }
    HexEntry run;
    run.kind = HexEntry::Kind::Data;
    run.line = part.lines;
    run.offset = run.lastOffset = offset;
    run.lastCount = count;
    run.records = 1;
    run.words = count / 2u;
    run.source = source;
    part.entries.push_back(run);
}

// The same for a batch of full records from the vector decoder, all just
// decoded: stretches of consecutive records are found in the offsets first,
// so a run is touched once per stretch rather than once per record.
void addFullRecords(HexPart& part, const std::uint16_t* offsets, std::size_t records) {
    constexpr std::uint32_t kStep = kFullRecordBytes / 2;
    for (std::size_t i = 0; i < records;) {
        std::size_t j = i + 1;
        while (j < records && offsets[j] == offsets[j - 1] + kStep) ++j;
        ++part.lines;
        addData(part, offsets[i], kFullRecordBytes, part.wrote);
        part.wrote += kFullRecordBytes;
        const auto more = static_cast<std::uint32_t>(j - i - 1);
        if (more > 0) {
            HexEntry& run = part.entries.back();
            run.lastOffset = offsets[j - 1];
            run.records += more;
            run.words += more * kStep;
            part.lines += more;
            part.wrote += std::size_t{more} * kFullRecordBytes;
        }
        i = j;
    }
}

void addEntry(HexPart& part, HexEntry::Kind kind, const char* reason = nullptr) {
    HexEntry entry;
    entry.kind = kind;
    entry.line = part.lines;
    entry.reason = reason;
    part.entries.push_back(entry);
}

// Where a part that does not start the file has its first line: after the
// first line end at or after begin - 1; `end` (no line of its own) when none
// comes before it.
bool findFirstLine(TextWindow& window, const HexPart& part, std::uint64_t size, std::uint64_t& first) {
    std::uint64_t pos = part.begin - 1;
    const std::uint64_t stop = std::min(part.end, size);
    while (pos < stop) {
        if (!window.hold(pos, kWindowBytes)) return false;
        const std::size_t avail = std::min<std::uint64_t>(window.available(pos), stop - pos);
        const void* found = std::memchr(window.at(pos), '\n', avail);
        if (found != nullptr) {
            first = pos + static_cast<std::uint64_t>(static_cast<const char*>(found) - window.at(pos)) + 1;
            return true;
        }
        pos += avail;
    }
    first = stop;
    return true;
}

}  // namespace

void readHexPart(const HexText& text, HexPart& part, std::uint8_t* buffer, std::size_t bufferBytes, bool kernel) {
    const std::uint64_t size = text.size();
    const std::uint64_t end = std::min(part.end, size);
    TextWindow window(text, part.begin > 0 ? part.begin - 1 : 0, end + kLookAhead);
    part.firstLine = 0;
    if (part.begin > 0 && !findFirstLine(window, part, size, part.firstLine)) {
        addEntry(part, HexEntry::Kind::ReadFailed);
        return;
    }
    const std::uint64_t place = part.placeAt == kPlaceByText ? part.firstLine / 2 : part.placeAt;
    part.outStart = static_cast<std::size_t>(std::min<std::uint64_t>(place, bufferBytes));
    std::uint8_t* out = buffer + part.outStart;
    const std::size_t room = bufferBytes - part.outStart;

    std::uint16_t offsets[kBatch];
    std::uint64_t pos = part.firstLine;
    while (pos < end) {
        if (!window.hold(pos, kLookAhead)) {
            addEntry(part, HexEntry::Kind::ReadFailed);
            return;
        }
        const char* line = window.at(pos);
        const std::size_t avail = window.available(pos);
        if (kernel) {
            // Only lines that start before the part's end are its own.
            const std::size_t span =
                static_cast<std::size_t>(std::min<std::uint64_t>(avail, end - pos + kFullRecordWindow - 1));
            std::size_t taken = 0;
            const std::size_t records =
                decodeFullRecords(line, span, out + part.wrote, room - part.wrote, offsets, kBatch, taken);
            if (records > 0) {
                addFullRecords(part, offsets, records);
                pos += taken;
                continue;
            }
        }
        ++part.lines;
        const void* lineEnd = std::memchr(line, '\n', std::min(avail, kLookAhead));
        std::size_t length = avail;  // the last line of the file has no line end
        if (lineEnd != nullptr) {
            length = static_cast<std::size_t>(static_cast<const char*>(lineEnd) - line);
        } else if (pos + avail < size) {
            addEntry(part, HexEntry::Kind::Refused, "not an Intel HEX record");  // longer than any record
            return;
        }
        pos += length + 1;
        std::string_view record(line, length);
        if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
        if (record.empty()) continue;

        HexRecord parsed;
        bool fits = true;
        const char* reason = parseHexRecord(record, parsed, out + part.wrote, room - part.wrote, fits);
        if (reason != nullptr) {
            addEntry(part, HexEntry::Kind::Refused, reason);
            return;
        }
        switch (parsed.kind) {
            case HexRecord::Kind::Data:
                if (!fits) {
                    addEntry(part, HexEntry::Kind::Full);
                    return;
                }
                addData(part, parsed.offset, parsed.count, part.wrote);
                part.wrote += parsed.count;
                break;
            case HexRecord::Kind::Base:
                addEntry(part, HexEntry::Kind::Base);
                part.entries.back().base = parsed.base;
                break;
            case HexRecord::Kind::End:
                addEntry(part, HexEntry::Kind::End);
                break;
            case HexRecord::Kind::Nothing:
                addEntry(part, HexEntry::Kind::Nothing);
                break;
        }
    }
}

}  // namespace cvl
