#pragma once
// The loaded program: sections in file order over one preallocated buffer,
// their flash classification for the current device, and the summary the
// programming commands consume.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/McuTable.h"
#include "image/ProgramFormat.h"
#include "image/SectionRecord.h"

namespace cvl {

struct ImageSummary {
    bool hasFlashSection = false;
    std::uint16_t sectorUnion = 0;
    std::uint16_t flashSectionCount = 0;
    std::int32_t flashListEnd = 0;  // list position after the last flash section
    std::uint32_t flashBytes = 0;
    std::uint16_t ramSectionCount = 0;
    std::uint32_t ramBytes = 0;
};

// Sets inFlash and sectorMask of a record from its address and length.
void classifySection(McuType device, SectionRecord& record);

// The program image, named after the COFF files it first held: it holds a
// program of any of the four formats read (COFF, ELF, Intel HEX, raw binary;
// `format` says which) as sections over one 8 MiB buffer, with the summary the
// commands use.
class CoffImage {
public:
    static constexpr std::size_t kBufferBytes = 0x800000;  // 8 MiB of section data

    CoffImage();
    CoffImage(const CoffImage&) = delete;
    CoffImage& operator=(const CoffImage&) = delete;

    // Every buffer byte back to 0xFF, no sections, counters and summary zero.
    // fileName, mcuType and imageLoaded are kept.
    void resetImage();

    // Computes the summary and the flash sections' stream offsets.
    void summarize();

    // Makes this image the same program as other (its own copy of the data),
    // so that several pods can each be given one.
    void copyFrom(const CoffImage& other);

    // Overwrites the word at a target address inside a flash section; false
    // (nothing changed) when no flash section holds it.
    bool setFlashWord(std::uint32_t address, std::uint16_t value);

    // The sectors the erase step clears.
    std::uint8_t eraseSectorMask(bool eraseAll) const;

    std::int32_t sectionCount() const { return static_cast<std::int32_t>(sections.size()); }

    std::uint8_t* buffer() { return buffer_.get(); }
    const std::uint8_t* buffer() const { return buffer_.get(); }

    std::vector<SectionRecord> sections;
    std::uint32_t totalBytes = 0;
    ImageSummary summary;
    bool imageLoaded = false;
    std::string fileName;
    McuType mcuType = kDefaultMcu;
    // Set by a successful load: the path it read (as given, trimmed), a
    // number that changes with every load, and what the user should be told.
    std::string loadedPath;
    std::uint32_t loadSerial = 0;
    std::vector<std::string> warnings;
    ProgramFormat format = ProgramFormat::None;  // the file's format

private:
    // No sections, counters and summary zero; the buffer is left as it is.
    void clearRecords();

    std::unique_ptr<std::uint8_t[]> buffer_;
    // Bytes below this offset may hold data; above it the buffer is still 0xFF,
    // so a reset need not refill the whole 8 MiB after a small program.
    std::size_t dirtyEnd_ = 0;
    friend class CoffBufferWriter;
};

// The reader's only way to put data into the buffer. It clears the image as
// resetImage() does, but erases only the bytes the new program does not
// overwrite, so a load costs one pass over the data instead of two.
class CoffBufferWriter {
public:
    explicit CoffBufferWriter(CoffImage& image);
    std::uint8_t* at(std::size_t offset) { return image_.buffer_.get() + offset; }
    // Section data at [offset, offset + size) of which only `got` bytes came
    // from the file: the rest must read as erased.
    void wrote(std::size_t offset, std::size_t size, std::size_t got);
    // The load completed with `end` bytes of sections: erase what an earlier
    // program left beyond them.
    void finish(std::size_t end);

private:
    CoffImage& image_;
};

}  // namespace cvl
