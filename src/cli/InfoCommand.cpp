#include "cli/InfoCommand.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliReport.h"
#include "cli/InfoJson.h"
#include "common/JsonText.h"
#include "cli/TerminalStatus.h"
#include "common/Clock.h"
#include "common/Text.h"
#include "image/CoffImage.h"
#include "command/LoadCommand.h"
#include "image/SymbolTable.h"

namespace cvl::cli {

namespace {

void printTable(const CoffImage& image) {
    const McuInfo* info = mcuInfo(image.mcuType);
    std::printf("%-24s %-8s %8s  %-5s  %s\n", "Section", "Address", "Words", "Kind", "Sectors");
    for (const SectionRecord* r : blocksAsShown(image)) {
        if (info == nullptr) {
            std::printf("%-24s 0x%06X %8u  %-5s  %s\n", escapeControls(r->name).c_str(), r->startAddress,
                        r->lengthWords, "-", "-");
        } else {
            std::printf("%-24s 0x%06X %8u  %-5s  0x%02X\n", escapeControls(r->name).c_str(), r->startAddress,
                        r->lengthWords, r->inFlash ? "flash" : "RAM", r->sectorMask);
        }
    }
    const ImageSummary& s = image.summary;
    std::printf("\n%s program, device %s, file name \"%s\"\n", std::string(formatName(image.format)).c_str(),
                info != nullptr ? info->shortName : "none", escapeControls(image.fileName).c_str());
    if (info == nullptr) {
        std::printf("%d blocks, %u bytes; no device: nothing is classified as flash or RAM\n", image.sectionCount(),
                    image.totalBytes);
        return;
    }
    std::printf("%d sections, %u bytes: %u flash sections (%u bytes, sectors 0x%02X), %u RAM sections (%u bytes)\n",
                image.sectionCount(), image.totalBytes, s.flashSectionCount, s.flashBytes, s.sectorUnion,
                s.ramSectionCount, s.ramBytes);
}

// The data symbols that lie in the program's blocks: where a serial number may go.
std::vector<ProgramSymbol> dataSymbols(const std::string& file, const CoffImage& image, std::string& error) {
    std::vector<ProgramSymbol> out;
    const auto all = readSymbols(file, error);
    if (!all) return out;
    for (const ProgramSymbol& s : *all) {
        if (s.code || s.name.empty() || s.name.front() == '.') continue;
        const bool inBlock = std::any_of(image.sections.begin(), image.sections.end(), [&](const SectionRecord& r) {
            return s.address >= r.startAddress && s.address < std::uint64_t{r.startAddress} + r.lengthWords;
        });
        const bool seen = std::any_of(out.begin(), out.end(), [&](const ProgramSymbol& o) { return o.name == s.name; });
        if (inBlock && !seen) out.push_back(s);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const ProgramSymbol& a, const ProgramSymbol& b) { return a.address < b.address; });
    return out;
}

}  // namespace

int runInfo(const ParsedArgs& args) {
    const bool json = args.json();
    McuType device = kDefaultMcu;
    ReadOptions options;
    options.unknownNeedsBase = true;
    if (const auto bad = readDeviceAndBase(args, true, device, options.binaryBase)) return usageError(args, *bad);
    const std::string& file = args.file;

    SteadyClock clock;
    const std::uint64_t start = clock.nowMicros();
    CoffImage image;
    TerminalStatus status(true);  // the outcome is printed below, as a table or JSON
    const OutcomeCode outcome = loadCoffFile(image, status, file, device, {}, options);
    std::string symbolError;
    const bool symbols = args.has("--symbols") && outcome == OutcomeCode::Ok;
    const std::vector<ProgramSymbol> found =
        symbols ? dataSymbols(file, image, symbolError) : std::vector<ProgramSymbol>{};

    if (json) {
        auto out = infoJson(file, device, outcome, status.lastMessage(), image);
        out["warnings"] = image.warnings;
        if (symbols) {
            nlohmann::ordered_json list = nlohmann::ordered_json::array();
            for (const ProgramSymbol& s : found) {
                nlohmann::ordered_json j;
                putText(j, "name", s.name);
                j["address"] = s.address;
                putText(j, "section", s.section);
                list.push_back(std::move(j));
            }
            out["symbols"] = std::move(list);
            if (!symbolError.empty()) putText(out, "symbolsError", symbolError);
        }
        out["exitStatus"] = outcome == OutcomeCode::Ok ? 0 : 1;
        out["elapsedSeconds"] = jsonSeconds(static_cast<double>(clock.nowMicros() - start) * 1e-6);
        std::cout << jsonText(out) << '\n';
    } else if (outcome == OutcomeCode::Ok) {
        printTable(image);
        if (symbols) {
            std::printf("\nData symbols (where --serial-at may put a number):\n");
            if (!symbolError.empty()) std::printf("  none: %s\n", escapeControls(symbolError).c_str());
            for (const ProgramSymbol& s : found) {
                std::printf("  %-32s 0x%06X  %s\n", escapeControls(s.name).c_str(), s.address,
                            escapeControls(s.section).c_str());
            }
        }
        std::printf("%s\n", status.lastMessage().c_str());
        printWarnings(image.warnings);
    }
    if (outcome != OutcomeCode::Ok) {
        if (!json) std::fprintf(stderr, "%s\n", escapeControls(status.lastMessage()).c_str());
        return 1;
    }
    return 0;
}

}  // namespace cvl::cli
