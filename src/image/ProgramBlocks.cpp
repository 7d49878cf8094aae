#include "image/ProgramBlocks.h"

#include <algorithm>
#include <cstdio>

namespace cvl {

namespace {
std::string addressName(std::uint32_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "block_%06X", static_cast<unsigned>(address));
    return text;
}
}  // namespace

OutcomeCode buildSections(std::vector<ProgramBlock> blocks, BlockDecoder& decoder, CoffImage& image,
                          OutcomeCode failure, std::string& detail) {
    const auto byAddress = [](const ProgramBlock& a, const ProgramBlock& b) { return a.address < b.address; };
    if (!std::is_sorted(blocks.begin(), blocks.end(), byAddress)) {
        std::stable_sort(blocks.begin(), blocks.end(), byAddress);
    }
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        total += std::uint64_t{blocks[i].words} * 2;
        if (i > 0 && std::uint64_t{blocks[i - 1].address} + blocks[i - 1].words > blocks[i].address) {
            char text[96];
            std::snprintf(text, sizeof text, "two blocks of data overlap at word address 0x%06X",
                          static_cast<unsigned>(blocks[i].address));
            detail = text;
            return failure;
        }
    }
    if (total > CoffImage::kBufferBytes) return OutcomeCode::TooLarge;

    CoffBufferWriter buffer(image);
    std::uint64_t fill = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const ProgramBlock& b = blocks[i];
        if (b.words == 0) continue;
        const std::size_t bytes = std::size_t{b.words} * 2;
        if (!decoder.decode(b, buffer.at(fill))) {
            buffer.wrote(fill, bytes, 0);
            buffer.finish(fill + bytes);
            return failure;
        }
        buffer.wrote(fill, bytes, bytes);
        SectionRecord* last = image.sections.empty() ? nullptr : &image.sections.back();
        const bool joins = last != nullptr && b.joinable && i > 0 && blocks[i - 1].joinable &&
                           std::uint64_t{last->startAddress} + last->lengthWords == b.address &&
                           blocks[i - 1].name == b.name;
        if (joins) {
            last->lengthWords += b.words;
        } else {
            SectionRecord record;
            record.name = b.name.empty() ? addressName(b.address) : b.name;
            record.startAddress = b.address;
            record.lengthWords = b.words;
            record.streamOffset = static_cast<std::uint32_t>(fill);
            record.data = buffer.at(fill);
            image.sections.push_back(std::move(record));
        }
        fill += bytes;
    }
    buffer.finish(fill);
    for (SectionRecord& s : image.sections) classifySection(image.mcuType, s);
    image.totalBytes = static_cast<std::uint32_t>(fill);
    return OutcomeCode::Ok;
}

}  // namespace cvl
