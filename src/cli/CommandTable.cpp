#include "cli/CommandTable.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "cli/ConvertCommand.h"
#include "cli/InfoCommand.h"
#include "cli/PodCliCommands.h"

namespace cvl::cli {

namespace {

const OptionSpec kDevice{"--device", "F28332|F28334|F28335", "the target device (default F28335)"};
const OptionSpec kEraseAll{"--erase-all", nullptr, "erase every sector, not only those the program uses"};
const OptionSpec kBase{"--base", "ADDR",
                       "FILE is a raw binary of little-endian words loaded from word\n"
                       "address ADDR (for example 0x80000)"};
const OptionSpec kDeviceOrNone{"--device", "F28332|F28334|F28335|none",
                               "the target device (default F28335); none reads any C28x\n"
                               "program without a device memory map"};
const OptionSpec kPod{"--pod", "SERIAL|PATH",
                      "the pod to use, by serial number or device path (needed when\n"
                      "several pods are attached); give it several times for several pods"};
const OptionSpec kLock{"--lock", nullptr, "write a program that sets a CSM password (it locks the device)"};
const OptionSpec kPermanentLock{"--allow-permanent-lock", nullptr,
                                "write a program whose CSM password is all zero (it locks the\n"
                                "device for ever)"};
const OptionSpec kAllPods{"--all-pods", nullptr, "run on every pod attached, each in a thread of its own"};
const OptionSpec kLog{"--log", "FILE",
                      "append one JSON line per pod to FILE: time, host, pod, program and its\n"
                      "SHA-256, the flash words' CRC-32, outcome and the time of each step"};
const OptionSpec kCsm{"--csm", "KEY0,...,KEY7",
                      "unlock the code security module with eight hexadecimal words\n"
                      "separated by commas (an empty word is FFFF)"};

const std::vector<OptionSpec>& commonOptions() {
    static const std::vector<OptionSpec> options = {
        {"--json", nullptr, "print one JSON object with the outcome instead of the step lines"},
        {"--trace", "FILE", "write every byte to and from the pod, with timestamps, to FILE"},
        {"--help", nullptr, "show this help"},
    };
    return options;
}

const OptionSpec* findOption(const CommandSpec& command, const std::string& name) {
    for (const auto* list : {&command.options, &commonOptions()}) {
        const auto it = std::find_if(list->begin(), list->end(), [&](const OptionSpec& o) { return name == o.name; });
        if (it != list->end()) return &*it;
    }
    return nullptr;
}

std::string synopsis(const CommandSpec& command) {
    std::string text = std::string("corvexlink-cli ") + command.name;
    for (const auto* list : {&command.options, &commonOptions()}) {
        for (const OptionSpec& o : *list) {
            if (std::string(o.name) == "--help") continue;
            text += std::string(" [") + o.name + (o.value != nullptr ? std::string(" ") + o.value : "") + "]";
        }
    }
    if (command.takesFile) text += " FILE";
    return text;
}

std::string optionLines(const std::vector<OptionSpec>& options) {
    std::string text;
    for (const OptionSpec& o : options) {
        std::string head = std::string("  ") + o.name + (o.value != nullptr ? std::string(" ") + o.value : "");
        if (head.size() < 20) head.resize(20, ' ');
        std::string help = o.help;
        for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
            help.insert(at + 1, std::string(21, ' '));
        }
        text += head + " " + help + "\n";
    }
    return text;
}

}  // namespace

bool ParsedArgs::has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::optional<std::string> ParsedArgs::value(const std::string& option) const {
    for (const auto& [name, v] : values) {
        if (name == option) return v;
    }
    return std::nullopt;
}

const std::vector<CommandSpec>& commandTable() {
    static const std::vector<CommandSpec> table = {
        {"info",
         "load a COFF program and show its sections",
         "Load a program (TI COFF or ELF, Intel HEX, or a raw binary with --base) for the device\n"
         "and show its blocks and summary.",
         {kDeviceOrNone, kBase},
         true,
         runInfo},
        {"write",
         "program a COFF program into the target (Target Write)",
         "Program FILE into the target through the pod (Target Write): boot it over SCI, erase,\n"
         "program and reset it; a program without flash sections is streamed into RAM.",
         {kDevice,
          kEraseAll,
          kCsm,
          kLock,
          kPermanentLock,
          kBase,
          kPod,
          kAllPods,
          kLog,
          {"--serial-at", "ADDR|SYMBOL",
           "write a unique number into every board at this word address\n"
           "or symbol (in a flash section of the program)"},
          {"--serial-ledger", "FILE", "the ledger the numbers are taken from (needed with --serial-at)"},
          {"--serial-start", "N", "the first number of a new ledger (default 1)"},
          {"--serial-width", "16|32", "the number's width in bits (default 16; 32: low word first)"}},
         true,
         runWrite},
        {"reset",
         "reset the target board (Target Reset)",
         "Reset the target board through the pod (Target Reset).",
         {kPod, kAllPods, kLog},
         false,
         runReset},
        {"pod-write",
         "store a programming job in the pod (POD Write)",
         "Store FILE's flash sections, the CSM password, the erase choice and a tag in the pod\n"
         "so that it can program boards on its own (POD Write). Every board the pod programs\n"
         "gets the same program: a stored job takes no per-board serial numbers.",
         {kDevice,
          {"--erase-all", nullptr, "the stored job erases every sector"},
          {"--csm", "KEY0,...,KEY7", "store the CSM password (eight hexadecimal words, commas between)"},
          {"--name", "NAME", "the job's name, at most 8 characters (default: FILE's name)"},
          kLock,
          kPermanentLock,
          kBase,
          kPod,
          kAllPods,
          kLog},
         true,
         runPodWrite},
        {"pod-verify",
         "check the pod's stored job against a program (POD Verify)",
         "Check the job stored in the pod against FILE (POD Verify).",
         {kDevice, kBase, kPod, kAllPods, kLog},
         true,
         runPodVerify},
        {"pod-info",
         "show the pod's version and stored job (POD Info)",
         "Show the pod's firmware version and its stored job's name and date (POD Info).",
         {kPod, kAllPods, kLog},
         false,
         runPodInfo},
        {"probe",
         "look for the pod",
         "Look for the pod without opening it; exit status 0 when one is found.",
         {kPod},
         false,
         runProbe},
        {"convert",
         "write a program as Intel HEX or raw binary",
         "Read FILE (any format 'info' reads) and write it as Intel HEX the way hex2000 does with a\n"
         "16-bit ROM width, or as a raw binary of little-endian words from its lowest address with\n"
         "gaps filled with 0xFFFF (erased flash). OUT is replaced only once it is complete.",
         {kDeviceOrNone, kBase, {"--to", "hex|bin", "the format to write"}, {"-o", "OUT", "the file to write"}},
         true,
         runConvert},
        {"pods",
         "list every pod attached",
         "List every Corvexlink POD found (serial number, device path, backend) without opening any.",
         {},
         false,
         runPods},
    };
    return table;
}

const CommandSpec* findCommand(const std::string& name) {
    const auto& table = commandTable();
    const auto it = std::find_if(table.begin(), table.end(), [&](const CommandSpec& c) { return name == c.name; });
    return it == table.end() ? nullptr : &*it;
}

std::optional<ParsedArgs> parseArgs(const CommandSpec& command, const std::vector<std::string>& args,
                                    std::string& error) {
    ParsedArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const std::string name = a == "-h" ? "--help" : a;
        if (name.starts_with("-") && name != "-") {
            const OptionSpec* option = findOption(command, name);
            if (option == nullptr) {
                const bool known = std::any_of(commandTable().begin(), commandTable().end(),
                                               [&](const CommandSpec& c) { return findOption(c, name) != nullptr; });
                error = known ? std::string(command.name) + " does not take " + name : "unknown option '" + name + "'";
                return std::nullopt;
            }
            if (option->value == nullptr) {
                parsed.flags.push_back(name);
            } else {
                if (i + 1 >= args.size()) {
                    error = name + " needs " + option->value;
                    return std::nullopt;
                }
                parsed.values.emplace_back(name, args[++i]);
            }
        } else if (!command.takesFile) {
            error = std::string(command.name) + " takes no arguments";
            return std::nullopt;
        } else if (parsed.file.empty()) {
            parsed.file = a;
        } else {
            error = "only one FILE may be given";
            return std::nullopt;
        }
    }
    if (command.takesFile && parsed.file.empty() && !parsed.has("--help")) {
        error = std::string(command.name) + " needs a FILE";
        return std::nullopt;
    }
    return parsed;
}

std::string commandHelp(const CommandSpec& command) {
    return "Usage: " + synopsis(command) + "\n" + command.description + "\n" + optionLines(command.options) +
           optionLines(commonOptions());
}

std::string usageText() {
    std::string text =
        "Usage: corvexlink-cli COMMAND [OPTIONS]\n"
        "  or:  corvexlink-cli --help | --version\n"
        "Flash programmer for TI TMS320F2833x DSPs through the Corvexlink POD.\n"
        "\n"
        "Commands:\n";
    for (const CommandSpec& c : commandTable()) {
        std::string name = std::string("  ") + c.name;
        name.resize(14, ' ');
        text += name + c.summary + "\n";
    }
    text +=
        "\n"
        "'corvexlink-cli COMMAND --help' describes a command's options.\n"
        "\n"
        "The pod is the USB device described as \"Corvexlink POD\": found through FTDI's D2XX\n"
        "library when it is installed, the kernel's ftdi_sio driver (/dev/ttyUSB*), or a running\n"
        "corvexlink-podsim.\n"
        "\n"
        "Exit status: 0 success, 1 the command failed (the reason is its last line), 2 the\n"
        "command line was wrong.\n";
    return text;
}

std::optional<std::uint32_t> parseAddress(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() || value > 0x3FFFFF) {
        return std::nullopt;
    }
    return value;
}

std::optional<McuType> parseDevice(const std::string& text, bool noneAllowed) {
    if (noneAllowed && text == "none") return kAnyDevice;
    return mcuFromName(text.c_str());
}

std::optional<std::string> readDeviceAndBase(const ParsedArgs& args, bool noneAllowed, McuType& device,
                                             std::optional<std::uint32_t>& base) {
    if (const auto name = args.value("--device")) {
        const auto d = parseDevice(*name, noneAllowed);
        if (!d) return "unknown device '" + *name + "'";
        device = *d;
    }
    if (const auto text = args.value("--base")) {
        base = parseAddress(*text);
        if (!base) return std::string("--base takes a word address such as 0x80000");
    }
    return std::nullopt;
}

int usageError(const std::string& what) {
    std::fprintf(stderr, "corvexlink-cli: %s\nTry 'corvexlink-cli --help'.\n", what.c_str());
    return kExitUsage;
}

}  // namespace cvl::cli
