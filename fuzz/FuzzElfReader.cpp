// Feeds arbitrary bytes to the ELF reader, with and without a device: it
// must never crash, overrun or hang, and what it accepts must fit the buffer.

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "image/CoffImage.h"
#include "image/ElfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static cvl::CoffImage image;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (cvl::McuType device : {cvl::kDefaultMcu, cvl::kAnyDevice}) {
        image.mcuType = device;
        std::istringstream in(bytes);
        std::string detail;
        if (cvl::readElf(in, image, detail) == cvl::OutcomeCode::Ok) {
            std::uint64_t total = 0;
            for (const auto& s : image.sections) total += 2ull * s.lengthWords;
            if (total != image.totalBytes || total > cvl::CoffImage::kBufferBytes) std::abort();
        }
        image.resetImage();
    }
    return 0;
}
