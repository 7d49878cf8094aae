// Feeds arbitrary text to the Intel HEX reader. Read in parts by several
// threads with the vector decoder, it must give exactly what one plain pass
// of the general parser gives; what it accepts is written back as hex2000
// would and must read to the same words again.

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

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
    static cvl::CoffImage split;
    image.mcuType = split.mcuType = cvl::kAnyDevice;
    const std::string text(reinterpret_cast<const char*>(data), size);
    cvl::HexReadOptions plain;
    plain.parts = plain.threads = 1;
    plain.vectorDecoder = false;
    std::string detail;
    const cvl::OutcomeCode code = cvl::readIntelHex(text, image, detail, plain);

    cvl::HexReadOptions options;  // the split chosen from the text's last byte
    options.parts = size > 0 ? 1 + data[size - 1] % 9 : 1;
    options.threads = size > 0 ? 1 + data[size - 1] / 128 : 1;
    std::string splitDetail;
    if (cvl::readIntelHex(text, split, splitDetail, options) != code || splitDetail != detail) std::abort();
    if (code == cvl::OutcomeCode::Ok && wordsOf(split) != wordsOf(image)) std::abort();
    split.resetImage();

    if (code == cvl::OutcomeCode::Ok) {
        if (cvl::readIntelHex(cvl::intelHexText(image), split, detail) != cvl::OutcomeCode::Ok) std::abort();
        if (wordsOf(split) != wordsOf(image)) std::abort();
        split.resetImage();
    }
    image.resetImage();
    return 0;
}
