#include "cli/ConvertCommand.h"

#include <cstdio>

#include "cli/TerminalStatus.h"
#include "common/PrivateFile.h"
#include "common/Text.h"
#include "image/LoadCommand.h"
#include "image/ProgramWriter.h"

namespace cvl::cli {

int runConvert(const ParsedArgs& args) {
    const auto to = args.value("--to");
    const auto out = args.value("-o");
    if (!to || (*to != "hex" && *to != "bin")) return usageError("convert needs --to hex or --to bin");
    if (!out || out->empty()) return usageError("convert needs -o OUT");
    McuType device = kAnyDevice;
    ReadOptions options;
    if (const auto bad = readDeviceAndBase(args, true, device, options.binaryBase)) return usageError(*bad);
    CoffImage image;
    TerminalStatus status(true);
    if (loadCoffFile(image, status, args.file, device, {}, options) != OutcomeCode::Ok) {
        std::fprintf(stderr, "%s\n", escapeControls(status.lastMessage()).c_str());
        return 1;
    }
    std::string bytes;
    if (*to == "hex") {
        bytes = intelHexText(image);
    } else if (auto binary = rawBinaryBytes(image)) {
        bytes = std::move(*binary);
    } else {
        std::fprintf(stderr, "The program's blocks lie too far apart for one binary file: write Intel HEX\n");
        return 1;
    }
    std::string error;
    if (!writeFileAtomically(*out, bytes, error)) {
        std::fprintf(stderr, "%s\n", escapeControls(error).c_str());
        return 1;
    }
    std::printf("%s: %s program, %d blocks, %u words written as %s\n", escapeControls(*out).c_str(),
                image.format.c_str(), image.sectionCount(), image.totalBytes / 2,
                *to == "hex" ? "Intel HEX" : "binary");
    return 0;
}

}  // namespace cvl::cli
