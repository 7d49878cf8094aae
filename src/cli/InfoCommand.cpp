#include "InfoCommand.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "CliSession.h"
#include "CliInputs.h"
#include "TerminalStatus.h"
#include "CoffImage.h"
#include "Crc32.h"
#include "LoadCommand.h"
#include "Usage.h"

namespace cvl::cli {

namespace {

nlohmann::ordered_json toJson(const std::string& file, McuType device, LoadOutcome outcome, const std::string& message,
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

int runInfo(std::vector<std::string> args) {
    CommonOptions common;
    if (auto bad = extractCommonOptions(args, common)) return usageError(*bad);
    if (common.help) {
        std::fputs(commandHelp("info").c_str(), stdout);
        return 0;
    }
    const bool json = common.json;
    McuType device = kDefaultMcu;
    std::string file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--device") {
            if (i + 1 >= args.size()) return usageError("--device needs F28332, F28334 or F28335");
            const auto d = mcuFromName(args[++i].c_str());
            if (!d) return usageError("unknown device '" + args[i] + "'");
            device = *d;
        } else if (a.starts_with("-") && a != "-") {
            return usageError("unknown option '" + a + "'");
        } else if (file.empty()) {
            file = a;
        } else {
            return usageError("only one FILE may be given");
        }
    }
    if (file.empty()) return usageError("info needs a FILE");

    if (!common.traceFile.empty()) {
        // Loading talks to no pod: the trace is created, and stays empty.
        std::FILE* trace = std::fopen(common.traceFile.c_str(), "w");
        if (trace == nullptr) return usageError(common.traceFile + ": cannot be written");
        std::fclose(trace);
    }
    SteadyClock clock;
    const std::uint64_t start = clock.nowMicros();
    CoffImage image;
    TerminalStatus status(true);  // the outcome is printed below, as a table or JSON
    CliInputs inputs;
    inputs.device = device;
    const LoadOutcome outcome = loadCoffFile(image, status, inputs, file, false);

    if (json) {
        auto out = toJson(file, device, outcome, status.lastMessage(), image);
        out["elapsedSeconds"] = static_cast<double>(clock.nowMicros() - start) * 1e-6;
        std::cout << out.dump() << '\n';
    } else if (outcome == LoadOutcome::Ok) {
        printTable(image);
        std::printf("%s\n", status.lastMessage().c_str());
    }
    if (outcome != LoadOutcome::Ok) {
        if (!json) std::fprintf(stderr, "%s\n", status.lastMessage().c_str());
        return 1;
    }
    return 0;
}

}  // namespace cvl::cli
