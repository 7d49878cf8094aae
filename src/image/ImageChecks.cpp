#include "image/ImageChecks.h"

namespace cvl {

OutcomeCode checkTargetImage(const CoffImage& image) {
    if (image.sectionCount() <= 0 || image.totalBytes == 0) return OutcomeCode::NoSectionData;
    return OutcomeCode::Ok;
}

OutcomeCode checkPodImage(const CoffImage& image) {
    if (const OutcomeCode failed = checkTargetImage(image); failed != OutcomeCode::Ok) return failed;
    if (image.summary.flashSectionCount > kPodMaxSections) return OutcomeCode::TooManySections;
    if (image.summary.flashBytes > kPodMaxBytes) return OutcomeCode::TooMuchData;
    if (image.summary.hasFlashSection == 0) return OutcomeCode::NoFlashSection;
    return OutcomeCode::Ok;
}

}  // namespace cvl
