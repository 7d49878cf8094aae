#pragma once
// Loads an image made of the given sections through the real reader.

#include <sstream>
#include <vector>

#include "image/CoffImage.h"
#include "image/CoffReader.h"
#include "CoffWriter.h"

namespace cvl::test {

inline TestSection words(std::uint32_t address, std::size_t count, std::uint16_t first = 0x1000,
                         std::string name = ".text") {
    TestSection s;
    s.name = std::move(name);
    s.address = address;
    for (std::size_t i = 0; i < count; ++i) s.words.push_back(static_cast<std::uint16_t>(first + i));
    return s;
}

inline bool loadSections(CoffImage& image, const std::vector<TestSection>& sections, McuType mcu = McuType::F28335) {
    CoffLayout layout;
    layout.sections = sections;
    const Bytes bytes = buildCoff(layout);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    image.mcuType = mcu;
    if (readCoff(in, image) != CoffReadResult::Ok) return false;
    image.summarize();
    image.imageLoaded = 1;
    return true;
}

}  // namespace cvl::test
