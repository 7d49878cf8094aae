#include "ImageChecks.h"

namespace cvl {

std::optional<std::string> checkTargetImage(const CoffImage& image) {
    if (image.sectionCount() <= 0 || image.totalBytes == 0) {
        return "The selected COFF file don't have valid section data";
    }
    return std::nullopt;
}

std::optional<std::string> checkPodImage(const CoffImage& image) {
    if (auto failed = checkTargetImage(image)) return failed;
    if (image.summary.flashSectionCount > kPodMaxSections) {
        return "The supported section count is to " + std::to_string(kPodMaxSections);
    }
    if (image.summary.flashBytes > kPodMaxBytes) {
        return "The data size is bigger than serial flash size in Corvexlink POD";
    }
    if (image.summary.hasFlashSection == 0) {
        return "There is no valid section for flash region";
    }
    return std::nullopt;
}

}  // namespace cvl
