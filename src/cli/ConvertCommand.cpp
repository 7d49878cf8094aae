#include "cli/ConvertCommand.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliReport.h"
#include "common/JsonText.h"
#include "cli/TerminalStatus.h"
#include "platform/Files.h"
#include "common/Text.h"
#include "command/LoadCommand.h"
#include "image/ProgramWriter.h"

namespace cvl::cli {

int runConvert(const ParsedArgs& args) {
    const auto to = args.value("--to");
    const auto out = args.value("-o");
    if (!to || (*to != "hex" && *to != "bin")) return usageError(args, "convert needs --to hex or --to bin");
    if (!out || out->empty()) return usageError(args, "convert needs -o OUT");
    McuType device = kAnyDevice;
    ReadOptions options;
    options.unknownNeedsBase = true;
    if (const auto bad = readDeviceAndBase(args, true, device, options.binaryBase)) return usageError(args, *bad);
    const bool toStdout = *out == "-";
    if (!toStdout && sameFile(*out, args.file)) {
        return usageError(args, "-o " + *out + " is the program file itself");
    }
    CoffImage image;
    TerminalStatus status(true);
    if (const OutcomeCode loaded = loadCoffFile(image, status, args.file, device, {}, options);
        loaded != OutcomeCode::Ok) {
        return refuseWith(args, loaded, status.lastMessage());
    }
    std::string bytes;
    if (*to == "hex") {
        bytes = intelHexText(image);
    } else if (auto binary = rawBinaryBytes(image)) {
        bytes = std::move(*binary);
    } else {
        return refuse(args, OutcomeCode::BlocksTooFarApart);
    }
    std::string error;
    if (toStdout) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) return 1;
        return 0;
    }
    if (!writeFileAtomically(*out, bytes, error, true)) return refuse(args, OutcomeCode::OutputFailed, error);
    const std::string summary = std::to_string(image.sectionCount()) + " blocks, " +
                                std::to_string(image.totalBytes / 2) + " words written as " +
                                (*to == "hex" ? "Intel HEX" : "binary");
    if (args.json()) {
        nlohmann::ordered_json j = {{"command", "convert"}, {"result", "Ok"}};
        putText(j, "message", summary);
        j["isError"] = false;
        j["exitStatus"] = 0;
        putText(j, "file", args.file);
        putText(j, "output", *out);
        j["format"] = formatName(image.format);
        j["to"] = *to;
        j["blocks"] = image.sectionCount();
        j["words"] = image.totalBytes / 2;
        std::cout << jsonText(j) << '\n';
    } else {
        std::printf("%s: %s program, %s\n", escapeControls(*out).c_str(), std::string(formatName(image.format)).c_str(),
                    summary.c_str());
    }
    return 0;
}

}  // namespace cvl::cli
