#pragma once
// Reads the lines of one part of an Intel HEX file: checks each record on its
// own, decodes the data into the image buffer and sums the records up as a
// short list of entries, consecutive data records as one run. What depends
// on earlier lines (the address base, the end record, the byte-lane check)
// is left to the reader, so the parts of a large file can be read at once.

#include <cstdint>
#include <cstddef>
#include <string_view>
#include <vector>

namespace cvl {

// The text the parts are read from. readAt is called from several threads.
class HexText {
public:
    virtual ~HexText() = default;
    virtual std::uint64_t size() const = 0;
    // Up to n bytes at offset: the count read, or 0 or less on failure.
    virtual long long readAt(std::uint64_t offset, char* out, std::size_t n) const = 0;
};

class MemoryHexText : public HexText {
public:
    explicit MemoryHexText(std::string_view text) : text_(text) {}
    std::uint64_t size() const override { return text_.size(); }
    long long readAt(std::uint64_t offset, char* out, std::size_t n) const override;

private:
    std::string_view text_;
};

// An open file descriptor, read with pread; the caller keeps it open.
class FileHexText : public HexText {
public:
    FileHexText(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t size() const override { return size_; }
    long long readAt(std::uint64_t offset, char* out, std::size_t n) const override;

private:
    int fd_;
    std::uint64_t size_;
};

struct HexEntry {
    // Data: a run of data records; End, Base: those records; Nothing: a line
    // without effect; Refused: a damaged line; Full: data past the buffer;
    // ReadFailed: the text could not be read.
    enum class Kind : std::uint8_t { Data, End, Base, Nothing, Refused, Full, ReadFailed };
    Kind kind = Kind::Nothing;
    std::uint32_t line = 0;        // the part's own line number, from 1
    std::uint32_t base = 0;        // Base: the new address base
    std::uint16_t offset = 0;      // Data: the first record's word offset
    std::uint16_t lastOffset = 0;  // Data: the last record's word offset
    std::uint8_t lastCount = 0;    // Data: the last record's byte count
    std::uint32_t records = 0;     // Data: records in the run
    std::uint32_t words = 0;       // Data: words in the run
    std::uint64_t source = 0;      // Data: where the run's words start in the part's output
    const char* reason = nullptr;  // Refused: why
};

// Decode where the part's text starts, halved: no earlier part's words reach
// there, as a record's data is less than half its characters.
constexpr std::size_t kPlaceByText = SIZE_MAX;

struct HexPart {
    // In: lines that start in [begin, end) are this part's; its words go to
    // buffer + placeAt.
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::size_t placeAt = kPlaceByText;
    // Out: where the first line starts, the lines read, where the decoded
    // bytes went and how many, and the entries, which end at the first line
    // that cannot be taken.
    std::uint64_t firstLine = 0;
    std::uint32_t lines = 0;
    std::size_t outStart = 0;
    std::size_t wrote = 0;
    std::vector<HexEntry> entries;
};

// Reads one part. `buffer` is the image buffer of `bufferBytes`; `kernel`
// says whether the vector decoder may be used.
void readHexPart(const HexText& text, HexPart& part, std::uint8_t* buffer, std::size_t bufferBytes, bool kernel);

}  // namespace cvl
