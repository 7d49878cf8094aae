// Feeds arbitrary bytes to the COFF reader for every device, then summarises
// and walks the image as the commands would, and prints it as 'info --json'
// does: the JSON must always be valid, whatever names the file holds.

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cli/InfoJson.h"
#include "common/JsonText.h"
#include "image/CoffImage.h"
#include "image/CoffReader.h"
#include "common/Crc32.h"
#include "image/ImageChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static cvl::CoffImage image;  // the 8 MiB buffer is made once, as in the program
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // Every device, and one index past them (no device table entry).
    for (int index = 0; index <= cvl::kMcuCount; ++index) {
        image.mcuType = cvl::mcuAtIndex(static_cast<std::uint8_t>(index));
        std::istringstream in(bytes);
        const auto result = cvl::readCoff(in, image);
        if (result == cvl::CoffReadResult::Ok) {
            image.summarize();
            std::uint64_t total = 0;
            for (const auto& s : image.sections) {
                total += 2ull * s.lengthWords;
                (void)cvl::crc32(s.data, 2ull * s.lengthWords);
            }
            if (total != image.totalBytes || total > cvl::CoffImage::kBufferBytes) std::abort();
            (void)cvl::checkPodImage(image);
            (void)image.eraseSectorMask(false);
        }
        // A file name that is not UTF-8 goes with it, as a user's file may have one.
        image.fileName = bytes.substr(0, 8);
        const std::string text = cvl::jsonText(cvl::cli::infoJson(
            bytes.substr(0, 16), image.mcuType, cvl::OutcomeCode::Ok, "Reading COFF file is successful", image));
        if (!nlohmann::json::accept(text)) std::abort();
        image.resetImage();
    }
    return 0;
}
