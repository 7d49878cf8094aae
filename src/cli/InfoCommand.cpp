#include "cli/InfoCommand.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/TerminalStatus.h"
#include "common/Clock.h"
#include "image/CoffImage.h"
#include "image/Crc32.h"
#include "image/LoadCommand.h"

namespace cvl::cli {

namespace {

nlohmann::ordered_json toJson(const std::string& file, McuType device, OutcomeCode outcome, const std::string& message,
                              const CoffImage& image) {
    const ImageSummary& s = image.summary;
    nlohmann::ordered_json sections = nlohmann::ordered_json::array();
    for (const SectionRecord& r : image.sections) {
        sections.push_back({{"name", r.name},
                            {"startAddress", r.startAddress},
                            {"lengthWords", r.lengthWords},
                            {"inFlash", r.inFlash != 0},
                            {"sectorMask", r.sectorMask},
                            {"streamOffset", r.streamOffset},
                            {"crc32", crc32(r.data, std::size_t{r.lengthWords} * 2)}});
    }
    return {{"file", file},
            {"device", mcuInfo(device)->shortName},
            {"result", std::string(outcomeName(outcome))},
            {"message", message},
            {"fileName", image.fileName},
            {"summary",
             {{"sectionCount", image.sectionCount()},
              {"totalBytes", image.totalBytes},
              {"hasFlashSection", s.hasFlashSection != 0},
              {"sectorUnion", s.sectorUnion},
              {"flashSectionCount", s.flashSectionCount},
              {"flashListEnd", s.flashListEnd},
              {"flashBytes", s.flashBytes},
              {"ramSectionCount", s.ramSectionCount},
              {"ramBytes", s.ramBytes}}},
            {"sections", sections}};
}

void printTable(const CoffImage& image) {
    std::printf("%-24s %-8s %8s  %-5s  %s\n", "Section", "Address", "Words", "Kind", "Sectors");
    for (const SectionRecord& r : image.sections) {
        std::printf("%-24s 0x%06X %8u  %-5s  0x%02X\n", r.name.c_str(), r.startAddress, r.lengthWords,
                    r.inFlash ? "flash" : "RAM", r.sectorMask);
    }
    const ImageSummary& s = image.summary;
    std::printf("\nDevice %s, file name \"%s\"\n", mcuInfo(image.mcuType)->shortName, image.fileName.c_str());
    std::printf("%d sections, %u bytes: %u flash sections (%u bytes, sectors 0x%02X), %u RAM sections (%u bytes)\n",
                image.sectionCount(), image.totalBytes, s.flashSectionCount, s.flashBytes, s.sectorUnion,
                s.ramSectionCount, s.ramBytes);
}

}  // namespace

int runInfo(const ParsedArgs& args) {
    const bool json = args.has("--json");
    McuType device = kDefaultMcu;
    if (const auto name = args.value("--device")) {
        const auto d = mcuFromName(name->c_str());
        if (!d) return usageError("unknown device '" + *name + "'");
        device = *d;
    }
    const std::string& file = args.file;

    if (const auto traceFile = args.value("--trace")) {
        // Loading talks to no pod: the trace is created, and stays empty.
        std::FILE* trace = std::fopen(traceFile->c_str(), "w");
        if (trace == nullptr) return usageError(*traceFile + ": cannot be written");
        std::fclose(trace);
    }
    SteadyClock clock;
    const std::uint64_t start = clock.nowMicros();
    CoffImage image;
    TerminalStatus status(true);  // the outcome is printed below, as a table or JSON
    const OutcomeCode outcome = loadCoffFile(image, status, file, device);

    if (json) {
        auto out = toJson(file, device, outcome, status.lastMessage(), image);
        out["warnings"] = image.warnings;
        out["elapsedSeconds"] = static_cast<double>(clock.nowMicros() - start) * 1e-6;
        std::cout << out.dump() << '\n';
    } else if (outcome == OutcomeCode::Ok) {
        printTable(image);
        std::printf("%s\n", status.lastMessage().c_str());
        for (const std::string& w : image.warnings) std::fprintf(stderr, "%s\n", w.c_str());
    }
    if (outcome != OutcomeCode::Ok) {
        if (!json) std::fprintf(stderr, "%s\n", status.lastMessage().c_str());
        return 1;
    }
    return 0;
}

}  // namespace cvl::cli
