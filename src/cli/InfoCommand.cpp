#include "cli/InfoCommand.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliSession.h"
#include "cli/InfoJson.h"
#include "cli/JsonText.h"
#include "cli/TerminalStatus.h"
#include "common/PrivateFile.h"
#include "common/Text.h"
#include "common/Clock.h"
#include "image/CoffImage.h"
#include "image/Crc32.h"
#include "image/LoadCommand.h"

namespace cvl::cli {

namespace {

void printTable(const CoffImage& image) {
    const McuInfo* info = mcuInfo(image.mcuType);
    std::printf("%-24s %-8s %8s  %-5s  %s\n", "Section", "Address", "Words", "Kind", "Sectors");
    for (const SectionRecord& r : image.sections) {
        std::printf("%-24s 0x%06X %8u  %-5s  0x%02X\n", escapeControls(r.name).c_str(), r.startAddress, r.lengthWords,
                    info == nullptr ? "-"
                    : r.inFlash     ? "flash"
                                    : "RAM",
                    r.sectorMask);
    }
    const ImageSummary& s = image.summary;
    std::printf("\n%s program, device %s, file name \"%s\"\n", image.format.c_str(),
                info != nullptr ? info->shortName : "none", escapeControls(image.fileName).c_str());
    std::printf("%d sections, %u bytes: %u flash sections (%u bytes, sectors 0x%02X), %u RAM sections (%u bytes)\n",
                image.sectionCount(), image.totalBytes, s.flashSectionCount, s.flashBytes, s.sectorUnion,
                s.ramSectionCount, s.ramBytes);
}

}  // namespace

int runInfo(const ParsedArgs& args) {
    const bool json = args.has("--json");
    McuType device = kDefaultMcu;
    ReadOptions options;
    if (const auto bad = readDeviceAndBase(args, true, device, options.binaryBase)) return usageError(*bad);
    const std::string& file = args.file;

    if (const auto traceFile = args.value("--trace")) {
        // Loading talks to no pod: the trace is created, and stays empty.
        std::string error;
        std::FILE* trace = openPrivateOutput(*traceFile, error);
        if (trace == nullptr || !closePrivateOutput(trace, *traceFile, error)) return usageError(error);
    }
    SteadyClock clock;
    const std::uint64_t start = clock.nowMicros();
    CoffImage image;
    TerminalStatus status(true);  // the outcome is printed below, as a table or JSON
    const OutcomeCode outcome = loadCoffFile(image, status, file, device, {}, options);

    if (json) {
        auto out = infoJson(file, device, outcome, status.lastMessage(), image);
        out["warnings"] = image.warnings;
        out["elapsedSeconds"] = static_cast<double>(clock.nowMicros() - start) * 1e-6;
        std::cout << jsonText(out) << '\n';
    } else if (outcome == OutcomeCode::Ok) {
        printTable(image);
        std::printf("%s\n", status.lastMessage().c_str());
        printWarnings(image);
    }
    if (outcome != OutcomeCode::Ok) {
        if (!json) std::fprintf(stderr, "%s\n", escapeControls(status.lastMessage()).c_str());
        return 1;
    }
    return 0;
}

}  // namespace cvl::cli
