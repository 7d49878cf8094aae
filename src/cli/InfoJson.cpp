#include "cli/InfoJson.h"

#include "cli/JsonText.h"
#include "image/Crc32.h"

namespace cvl::cli {

nlohmann::ordered_json infoJson(const std::string& file, McuType device, OutcomeCode outcome,
                                const std::string& message, const CoffImage& image) {
    const ImageSummary& s = image.summary;
    nlohmann::ordered_json sections = nlohmann::ordered_json::array();
    for (const SectionRecord& r : image.sections) {
        nlohmann::ordered_json section;
        putText(section, "name", r.name);
        section["startAddress"] = r.startAddress;
        section["lengthWords"] = r.lengthWords;
        section["inFlash"] = r.inFlash != 0;
        section["sectorMask"] = r.sectorMask;
        section["streamOffset"] = r.streamOffset;
        section["crc32"] = crc32(r.data, std::size_t{r.lengthWords} * 2);
        sections.push_back(std::move(section));
    }
    nlohmann::ordered_json out;
    putText(out, "file", file);
    out["device"] = mcuInfo(device) != nullptr ? mcuInfo(device)->shortName : "none";
    out["format"] = image.format;
    out["result"] = std::string(outcomeName(outcome));
    putText(out, "message", message);
    putText(out, "fileName", image.fileName);
    out["summary"] = {{"sectionCount", image.sectionCount()},
                      {"totalBytes", image.totalBytes},
                      {"hasFlashSection", s.hasFlashSection != 0},
                      {"sectorUnion", s.sectorUnion},
                      {"flashSectionCount", s.flashSectionCount},
                      {"flashListEnd", s.flashListEnd},
                      {"flashBytes", s.flashBytes},
                      {"ramSectionCount", s.ramSectionCount},
                      {"ramBytes", s.ramBytes}};
    out["sections"] = std::move(sections);
    return out;
}

}  // namespace cvl::cli
