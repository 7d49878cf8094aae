#include "store/StoreJob.h"

#include <cstdio>

namespace cvl {

namespace {
OutcomeCode refuse(StatusSink& status, OutcomeCode code) {
    status.showMessage(outcomeMessage(code), true);
    return code;
}
}  // namespace

TagRecord makeTag(const std::string& name, const LocalTime& t) {
    TagRecord tag{};
    for (std::size_t i = 0; i < name.size() && i < kPodNameBytes; ++i) tag[i] = static_cast<std::uint8_t>(name[i]);
    tag[8] = static_cast<std::uint8_t>(t.year >> 8);
    tag[9] = static_cast<std::uint8_t>(t.year);
    tag[10] = static_cast<std::uint8_t>(t.month);
    tag[11] = static_cast<std::uint8_t>(t.day);
    tag[12] = static_cast<std::uint8_t>(t.hour);
    tag[13] = static_cast<std::uint8_t>(t.minute);
    return tag;
}

OutcomeCode storeProgram(PodStoreClient& store, StatusSink& status, const CoffImage& image, Clock& clock, bool eraseAll,
                         bool useKeys, const std::string& tagName) {
    const TagRecord tag = makeTag(tagName, clock.localTime());
    const std::uint16_t eraseMask = image.eraseSectorMask(eraseAll);
    status.beginProgress(image.summary.flashBytes / 2);
    OutcomeCode failure = OutcomeCode::Ok;
    if (!store.beginStoreAccess()) {
        failure = OutcomeCode::StoreAccessFailed;
    } else if (!store.writeProgramStream()) {
        failure = OutcomeCode::StoreProgramFailed;
    } else if (!store.writeCsmPassword(useKeys)) {
        failure = OutcomeCode::StorePasswordFailed;
    } else if (!store.writeTag(tag)) {
        failure = OutcomeCode::StoreTagFailed;
    } else if (!store.writeCoffInfo(useKeys, eraseMask, image.summary.flashSectionCount)) {
        failure = OutcomeCode::StoreInfoFailed;
    } else if (!store.endStoreAccess()) {
        failure = OutcomeCode::StoreFinishFailed;
    } else if (!store.confirmJob(tag, useKeys, eraseMask, image.summary.flashSectionCount)) {
        // The end-of-access frame has no answer: only reading the job back
        // tells whether the pod kept it. The access is over; nothing to abort.
        return refuse(status, OutcomeCode::StoreNotConfirmed);
    }
    if (failure == OutcomeCode::Ok) return failure;
    refuse(status, failure);
    store.abortStoreAccess();
    return failure;
}

OutcomeCode verifyStore(PodStoreClient& store, StatusSink& status, const CoffImage& image) {
    status.beginProgress(image.summary.flashBytes / 2);
    if (!store.beginStoreAccess()) return refuse(status, OutcomeCode::StoreAccessFailed);
    if (!store.readCoffInfo()) return refuse(status, OutcomeCode::ReadInfoFailed);
    const StoredJobInfo info = store.coffInfo();
    if (info.marker != kStoredJobMarker) return refuse(status, OutcomeCode::NoStoredJob);
    if (mcuFromProtocolCode(info.deviceCode) != image.mcuType) return refuse(status, OutcomeCode::McuMismatch);
    if (info.sectionCount != (image.summary.flashSectionCount & 0xFF)) return refuse(status, OutcomeCode::FileMismatch);
    const bool storedCsm = info.csm;
    if (!store.checkSectionTable()) return refuse(status, OutcomeCode::SectionMismatch);
    if (storedCsm && !store.readCsmPassword()) return refuse(status, OutcomeCode::ReadPasswordFailed);
    if (!store.compareProgramStream()) {
        std::string message(outcomeMessage(OutcomeCode::DataMismatch));
        if (!store.mismatchAt().empty()) message += " (" + store.mismatchAt() + ")";
        status.showMessage(message, true);
        return OutcomeCode::DataMismatch;
    }
    if (!store.endStoreAccess()) return refuse(status, OutcomeCode::StoreFinishFailed);
    return OutcomeCode::Ok;
}

std::string podInfoText(std::uint16_t podVersion, const std::array<std::uint8_t, 15>& reply) {
    char text[128];
    const std::optional<TagRecord> stored = parseStoredTag(reply);
    if (!stored) {
        std::snprintf(text, sizeof text, "POD Ver: %d.%d, No POD File Data", podVersion / 10, podVersion % 10);
        return text;
    }
    const std::uint8_t* tag = stored->data();
    std::string name;
    for (std::size_t i = 0; i < kPodNameBytes && tag[i] != 0; ++i) name.push_back(static_cast<char>(tag[i]));
    char date[40];
    std::snprintf(date, sizeof date, "%04d.%02d.%02d %02d:%02d", (tag[8] << 8) | tag[9], tag[10], tag[11], tag[12],
                  tag[13]);
    std::snprintf(text, sizeof text, "POD Ver: %d.%d, POD File Name: %s [when %s]", podVersion / 10, podVersion % 10,
                  name.c_str(), date);
    return text;
}

}  // namespace cvl
