#include "StoreOperations.h"

#include <cstdio>

#include "ImageChecks.h"

namespace cvl {

namespace {
constexpr std::size_t kPodNameBytes = 8;

// The long store commands show only their success; their steps show failures.
bool busyBracket(CommandContext& ctx, const char* successText, const std::function<bool()>& step) {
    return runBusyCommand(ctx, step, [&](bool ok, const std::string& elapsed) {
        if (ok) ctx.status.showMessage(successText + elapsed, false);
    });
}

bool refuse(StatusSink& status, const std::string& message) {
    status.showMessage(message, true);
    return false;
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

bool storeProgram(PodStoreClient& store, StatusSink& status, const CoffImage& image, Clock& clock, bool eraseAll,
                  bool useKeys, const std::string& tagName) {
    const TagRecord tag = makeTag(tagName, clock.localTime());
    const std::uint16_t eraseMask = image.eraseSectorMask(eraseAll);
    status.beginProgress(image.summary.flashBytes / 2);
    const char* failure = nullptr;
    if (!store.beginStoreAccess())
        failure = "Fail to access serial flash in Corvexlink POD";
    else if (!store.writeProgramStream())
        failure = "Fail to write user program in serial flash";
    else if (!store.writeCsmPassword(useKeys))
        failure = "Fail to write csm password information";
    else if (!store.writeTag(tag))
        failure = "Fail to write tag information";
    else if (!store.writeCoffInfo(useKeys, eraseMask, image.summary.flashSectionCount)) {
        failure = "Fail to write COFF file information";
    } else if (!store.endStoreAccess())
        failure = "Fail to finish access to serial flash";
    if (failure == nullptr) return true;
    status.showMessage(failure, true);
    store.abortStoreAccess();
    return false;
}

bool verifyStore(PodStoreClient& store, StatusSink& status, const CoffImage& image) {
    status.beginProgress(image.summary.flashBytes / 2);
    if (!store.beginStoreAccess()) return refuse(status, "Fail to access serial flash in Corvexlink POD");
    if (!store.readCoffInfo()) return refuse(status, "Fail to read COFF information");
    const auto& info = store.coffInfoReply();  // marker, device, CSM flag, mask (2), section count
    if (info[0] != kStoredJobMarker) return refuse(status, "There is no COFF file data in serial flash");
    if (info[1] == 0 || info[1] - 1 != image.mcuType) {
        return refuse(status, "The selected MCU type is not same in serial flash");
    }
    if (info[5] != (image.summary.flashSectionCount & 0xFF)) {
        return refuse(status, "The selected COFF file is not same in serial flash");
    }
    const bool storedCsm = info[2] != 0;
    if (!store.checkSectionTable()) return refuse(status, "The selected COFF file section is not same in serial flash");
    if (storedCsm && !store.readCsmPassword()) {
        return refuse(status, "Fail to read CSM password information in serial flash");
    }
    if (!store.compareProgramStream()) return refuse(status, "The selected COFF file data is not same in serial flash");
    if (!store.endStoreAccess()) return refuse(status, "Fail to finish access to serial flash");
    return true;
}

std::string preparePodFileName(const std::string& boxText, const std::string& imageFileName) {
    std::string name = trimmed(boxText);
    if (name.empty()) name = imageFileName;
    if (name.size() > kPodNameBytes) name.resize(kPodNameBytes);
    return name;
}

std::string podInfoText(std::uint16_t podVersion, const std::array<std::uint8_t, 15>& reply) {
    char text[128];
    if (reply[0] != 1) {
        std::snprintf(text, sizeof text, "POD Ver: %d.%d, No POD File Data", podVersion / 10, podVersion % 10);
        return text;
    }
    const std::uint8_t* tag = reply.data() + 1;
    std::string name;
    for (std::size_t i = 0; i < kPodNameBytes && tag[i] != 0; ++i) name.push_back(static_cast<char>(tag[i]));
    char date[40];
    std::snprintf(date, sizeof date, "%04d.%02d.%02d %02d:%02d", (tag[8] << 8) | tag[9], tag[10], tag[11], tag[12],
                  tag[13]);
    std::snprintf(text, sizeof text, "POD Ver: %d.%d, POD File Name: %s [when %s]", podVersion / 10, podVersion % 10,
                  name.c_str(), date);
    return text;
}

bool onPodWrite(CommandContext& ctx) {
    ctx.keys = CsmKeys{};
    if (!ensureImageLoaded(ctx.image, ctx.status, ctx.inputs, ctx.inputs.filePathText(),
                           "Please, specify COFF file to write serial flash in Corvexlink POD")) {
        return false;
    }
    if (auto refused = checkPodImage(ctx.image)) return refuse(ctx.status, *refused);
    const bool eraseAll = ctx.inputs.eraseAllChecked();
    const bool useKeys = ctx.inputs.csmChecked();
    if (useKeys && !readCsmKeys(ctx.inputs, ctx.keys, ctx.status)) return false;
    const std::string name = preparePodFileName(ctx.inputs.podFileNameText(), ctx.image.fileName);
    ctx.inputs.setPodFileName(name);
    if (!ctx.link.connectPod(ctx.status)) return false;
    PodStoreClient store(ctx.link, ctx.status, ctx.image, ctx.keys);
    return busyBracket(ctx, "EEPROM Write Completed - ",
                       [&] { return storeProgram(store, ctx.status, ctx.image, ctx.clock, eraseAll, useKeys, name); });
}

bool onPodVerify(CommandContext& ctx) {
    if (!ensureImageLoaded(ctx.image, ctx.status, ctx.inputs, ctx.inputs.filePathText(),
                           "Please, specify COFF file to verify serial flash in Corvexlink POD")) {
        return false;
    }
    if (auto refused = checkPodImage(ctx.image)) return refuse(ctx.status, *refused);
    if (!ctx.link.connectPod(ctx.status)) return false;
    PodStoreClient store(ctx.link, ctx.status, ctx.image, ctx.keys);
    return busyBracket(ctx, "EEPROM Verify Completed - ", [&] { return verifyStore(store, ctx.status, ctx.image); });
}

bool onPodInfo(CommandContext& ctx) {
    if (!ctx.link.connectPod(ctx.status)) return false;
    PodStoreClient store(ctx.link, ctx.status, ctx.image, ctx.keys);
    const bool read = podIdentify(ctx.link) && store.readTag();
    ctx.link.closePod();
    if (!read || ctx.link.podVersion == 0) return refuse(ctx.status, "Fail to read Corvexlink POD Information");
    ctx.status.showMessage(podInfoText(ctx.link.podVersion, store.tagReply()), false);
    return true;
}

}  // namespace cvl
