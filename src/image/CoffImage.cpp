#include "image/CoffImage.h"

#include <algorithm>
#include <cstring>

namespace cvl {

void classifySection(McuType device, SectionRecord& record) {
    record.inFlash = 0;
    record.sectorMask = 0;
    const McuInfo* info = mcuInfo(device);
    if (info == nullptr) return;
    const std::uint32_t start = record.startAddress;
    if (start < info->flashStart || start > kFlashEnd) return;  // RAM section
    record.inFlash = 1;
    const std::uint32_t end = start + record.lengthWords - 1;
    const auto first = sectorOf(device, start);
    const auto last = sectorOf(device, end);
    if (!first || !last) return;  // runs past the end of flash: no mask
    if (first->bit == last->bit) {
        record.sectorMask = first->bit;
        return;
    }
    const auto [lo, hi] = std::minmax(first->index, last->index);
    std::uint16_t mask = 0;
    for (unsigned i = lo; i <= hi; ++i) mask |= static_cast<std::uint16_t>(1u << i);
    record.sectorMask = mask;
}

CoffImage::CoffImage() : buffer_(new std::uint8_t[kBufferBytes]) { std::memset(buffer_.get(), 0xFF, kBufferBytes); }

void CoffImage::resetImage() {
    std::memset(buffer_.get(), 0xFF, dirtyEnd_);
    dirtyEnd_ = 0;
    clearRecords();
}

void CoffImage::clearRecords() {
    sections.clear();
    totalBytes = 0;
    summary = ImageSummary{};
}

void CoffImage::summarize() {
    summary = ImageSummary{};
    std::uint32_t streamPos = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        SectionRecord& s = sections[i];
        if (s.inFlash != 0) {
            summary.hasFlashSection = s.inFlash;
            summary.sectorUnion |= s.sectorMask;
            summary.flashSectionCount += 1;
            summary.flashListEnd = static_cast<std::int32_t>(i + 1);
            summary.flashBytes += 2 * s.lengthWords;
            s.streamOffset = streamPos;
            streamPos += 2 * s.lengthWords;
        } else {
            summary.ramSectionCount += 1;
            summary.ramBytes += 2 * s.lengthWords;
        }
    }
}

void CoffImage::copyFrom(const CoffImage& other) {
    if (&other == this) return;
    resetImage();
    const std::size_t used = std::min<std::size_t>(other.dirtyEnd_, kBufferBytes);
    std::memcpy(buffer_.get(), other.buffer_.get(), used);
    dirtyEnd_ = used;
    sections = other.sections;
    for (SectionRecord& s : sections) {
        if (s.data != nullptr) s.data = buffer_.get() + (s.data - other.buffer_.get());
    }
    totalBytes = other.totalBytes;
    summary = other.summary;
    imageLoaded = other.imageLoaded;
    fileName = other.fileName;
    mcuType = other.mcuType;
    loadedPath = other.loadedPath;
    loadSerial = other.loadSerial;
    warnings = other.warnings;
    format = other.format;
}

bool CoffImage::setFlashWord(std::uint32_t address, std::uint16_t value) {
    for (const SectionRecord& s : sections) {
        if (s.inFlash == 0 || address < s.startAddress || address - s.startAddress >= s.lengthWords) continue;
        std::uint8_t* p = buffer_.get() + (s.data - buffer_.get()) + 2 * std::size_t{address - s.startAddress};
        p[0] = static_cast<std::uint8_t>(value);
        p[1] = static_cast<std::uint8_t>(value >> 8);
        return true;
    }
    return false;
}

CoffBufferWriter::CoffBufferWriter(CoffImage& image) : image_(image) {
    // Everything resetImage() does except the erase of the buffer, which
    // finish() or a later resetImage() completes; until then dirtyEnd_ still
    // covers every byte an earlier program wrote.
    image_.clearRecords();
}

void CoffBufferWriter::wrote(std::size_t offset, std::size_t size, std::size_t got) {
    std::memset(at(offset + got), 0xFF, size - got);
    image_.dirtyEnd_ = std::max(image_.dirtyEnd_, offset + size);
}

void CoffBufferWriter::finish(std::size_t end) {
    if (image_.dirtyEnd_ > end) std::memset(at(end), 0xFF, image_.dirtyEnd_ - end);
    image_.dirtyEnd_ = end;
}

std::uint8_t CoffImage::eraseSectorMask(bool eraseAll) const {
    const McuInfo* info = mcuInfo(mcuType);
    const std::uint8_t full = info != nullptr ? info->fullEraseMask : 0;
    return eraseAll ? full : static_cast<std::uint8_t>(summary.sectorUnion & full);
}

}  // namespace cvl
