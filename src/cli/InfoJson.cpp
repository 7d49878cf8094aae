#include "cli/InfoJson.h"

#include "common/JsonText.h"
#include "common/Crc32.h"

#include <algorithm>
#include <vector>

namespace cvl::cli {

std::vector<const SectionRecord*> blocksAsShown(const CoffImage& image) {
    std::vector<const SectionRecord*> out;
    for (const SectionRecord& r : image.sections) out.push_back(&r);
    if (mcuInfo(image.mcuType) == nullptr) {
        std::stable_sort(out.begin(), out.end(), [](const SectionRecord* a, const SectionRecord* b) {
            return a->startAddress < b->startAddress;
        });
    }
    return out;
}

nlohmann::ordered_json infoJson(const std::string& file, McuType device, OutcomeCode outcome,
                                const std::string& message, const CoffImage& image) {
    const ImageSummary& s = image.summary;
    // Without a device nothing is classified: blocks by address, no flash or RAM figures.
    const bool classified = mcuInfo(image.mcuType) != nullptr;
    const auto figure = [classified](auto value) {
        return classified ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
    };
    nlohmann::ordered_json sections = nlohmann::ordered_json::array();
    for (const SectionRecord* block : blocksAsShown(image)) {
        const SectionRecord& r = *block;
        nlohmann::ordered_json section;
        putText(section, "name", r.name);
        section["startAddress"] = r.startAddress;
        section["lengthWords"] = r.lengthWords;
        section["inFlash"] = figure(r.inFlash);
        section["sectorMask"] = figure(r.sectorMask);
        section["streamOffset"] = r.streamOffset;
        section["crc32"] = crc32(r.data, std::size_t{r.lengthWords} * 2);
        sections.push_back(std::move(section));
    }
    nlohmann::ordered_json out;
    putText(out, "file", file);
    out["device"] = mcuInfo(device) != nullptr ? mcuInfo(device)->shortName : "none";
    out["format"] = formatName(image.format);
    out["result"] = std::string(outcomeName(outcome));
    putText(out, "message", message);
    putText(out, "fileName", image.fileName);
    out["summary"] = {{"sectionCount", image.sectionCount()},
                      {"totalBytes", image.totalBytes},
                      {"classified", classified},
                      {"hasFlashSection", figure(s.hasFlashSection)},
                      {"sectorUnion", figure(s.sectorUnion)},
                      {"flashSectionCount", figure(s.flashSectionCount)},
                      {"flashListEnd", figure(s.flashListEnd)},
                      {"flashBytes", figure(s.flashBytes)},
                      {"ramSectionCount", figure(s.ramSectionCount)},
                      {"ramBytes", figure(s.ramBytes)}};
    out["sections"] = std::move(sections);
    return out;
}

}  // namespace cvl::cli
