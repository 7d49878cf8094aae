// Feeds arbitrary text to the Intel HEX reader. What it accepts must be the
// words a plain reading from the format's definition gives (the reader may
// refuse more: byte-lane files, overlaps, programs past the buffer), what
// the definition refuses it must refuse, and what it accepts, written back as
// hex2000 would, must read to the same words again.

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "HexReference.h"
#include "image/CoffImage.h"
#include "image/IntelHexReader.h"
#include "image/ProgramWriter.h"

namespace {
std::map<std::uint32_t, std::uint16_t> wordsOf(const cvl::CoffImage& image) {
    std::map<std::uint32_t, std::uint16_t> words;
    for (const auto& s : image.sections) {
        for (std::uint32_t i = 0; i < s.lengthWords; ++i) words[s.startAddress + i] = s.word(i);
    }
    return words;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static cvl::CoffImage image;
    static cvl::CoffImage again;
    image.mcuType = again.mcuType = cvl::kAnyDevice;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string detail;
    const cvl::OutcomeCode code = cvl::readIntelHex(text, image, detail);
    const auto reference = cvl::test::referenceHexWords(text);
    if (code == cvl::OutcomeCode::Ok) {
        if (!reference || *reference != wordsOf(image)) std::abort();
        if (cvl::readIntelHex(cvl::intelHexText(image), again, detail) != cvl::OutcomeCode::Ok) std::abort();
        if (wordsOf(again) != wordsOf(image)) std::abort();
        again.resetImage();
    }
    image.resetImage();
    return 0;
}
