#include "cli/CommandTable.h"

#include "pod/SystemBackends.h"

#include <algorithm>
#include <cstdio>

#include "cli/ConvertCommand.h"
#include "cli/InfoCommand.h"
#include "cli/LedgerCommand.h"
#include "cli/PodCliCommands.h"

namespace cvl::cli {

namespace {

const OptionSpec kDevice{"--device", "F28332|F28334|F28335", "the target device (default F28335)"};
const OptionSpec kEraseAll{"--erase-all", nullptr, "erase every sector, not only those the program uses"};
const OptionSpec kBase{"--base", "ADDR",
                       "FILE is a raw binary of little-endian words loaded from word\n"
                       "address ADDR, hexadecimal with or without 0x (80000 is 0x80000)"};
const OptionSpec kDeviceOrNone{"--device", "F28332|F28334|F28335|none",
                               "the target device (default F28335); none reads any C28x\n"
                               "program without a device memory map"};
const OptionSpec kPod{"--pod", "SERIAL|PATH",
                      "the pod to use, by serial number or device path (needed when\n"
                      "several pods are attached); give it several times for several pods",
                      false, true};
const OptionSpec kProbePod{"--pod", "SERIAL|PATH", "look for this pod; give it several times for several pods", false,
                           true};
const OptionSpec kLock{"--lock", nullptr, "write a program that sets a CSM password (it locks the device)"};
const OptionSpec kPermanentLock{"--allow-permanent-lock", nullptr,
                                "write a program whose CSM password is all zero (it locks the\n"
                                "device for ever)"};
const OptionSpec kAllPods{"--all-pods", nullptr, "run on every pod attached, each in a thread of its own"};
const OptionSpec kLog{"--log", "FILE|URI",
                      "append one JSON line per pod to FILE: time, host, pod, program and its\n"
                      "SHA-256, the flash words' CRC-32, outcome and the time of each step;\n"
                      "or one row per pod to board_log of a PostgreSQL database\n"
                      "(postgresql://USER@HOST/DB; the password from PGPASSWORD or ~/.pgpass,\n"
                      "on Windows %APPDATA%\\postgresql\\pgpass.conf)"};
const OptionSpec kCsm{"--csm", "KEY0,...,KEY7",
                      "unlock the code security module with eight words of 1 to 4\n"
                      "hexadecimal digits, separated by commas"};

const std::vector<OptionSpec>& commonOptions(const CommandSpec& command) {
    static const std::vector<OptionSpec> podOptions = {
        {"--json", nullptr, "print one JSON document with the outcome instead of the step lines"},
        {"--trace", "FILE", "write every byte to and from the pod, with timestamps, to FILE"},
        {"--help", nullptr, "show this help"},
    };
    static const std::vector<OptionSpec> fileOptions = {
        {"--json", nullptr, "print one JSON document with the outcome instead of the text"},
        {"--help", nullptr, "show this help"},
    };
    return command.talksToPod ? podOptions : fileOptions;
}

const OptionSpec* findOption(const CommandSpec& command, const std::string& name) {
    for (const auto* list : {&command.options, &commonOptions(command)}) {
        const auto it = std::find_if(list->begin(), list->end(), [&](const OptionSpec& o) { return name == o.name; });
        if (it != list->end()) return &*it;
    }
    return nullptr;
}

std::string synopsis(const CommandSpec& command) {
    std::string text = std::string("corvexlink-cli ") + command.name;
    for (const auto* list : {&command.options, &commonOptions(command)}) {
        for (const OptionSpec& o : *list) {
            if (std::string(o.name) == "--help") continue;
            text += o.required ? " " : " [";
            text += o.name;
            if (o.value != nullptr) text.append(" ").append(o.value);
            if (!o.required) text += "]";
        }
    }
    if (command.takesFile) text += std::string(" ") + command.words;
    return text;
}

}  // namespace

const std::vector<CommandSpec>& commandTable() {
    static const std::vector<CommandSpec> table = {
        {"info",
         "load a program and show its blocks",
         "Load a program (TI COFF or ELF, Intel HEX, or a raw binary with --base) for the device\n"
         "and show its blocks and summary.",
         {kDeviceOrNone,
          kBase,
          {"--symbols", nullptr,
           "also list the program's data symbols (COFF and ELF): where --serial-at\n"
           "may put a serial number"}},
         true,
         runInfo,
         false},
        {"write",
         "write a program into the target's flash (Target Write)",
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
           "(hexadecimal, starting with a digit: 0x33FF00 or 033FF00) or data\n"
           "symbol (in a flash section of the program, never in code)"},
          {"--serial-ledger", "FILE|URI",
           "the ledger the numbers are taken from (needed with --serial-at): a\n"
           "SQLite file, or a PostgreSQL database several stations share"},
          {"--serial-start", "N",
           "the first number of a ledger that has issued none, in decimal; on one\n"
           "that has, only its next number"},
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
          {"--csm", "KEY0,...,KEY7",
           "store the CSM password (eight words of 1 to 4 hexadecimal digits,\n"
           "commas between)"},
          {"--name", "NAME", "the job's name, at most 8 bytes of UTF-8 (default: FILE's name)"},
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
         "Look for pods without opening them; exit status 0 when every pod asked for (each --pod,\n"
         "or with neither --pod nor --all-pods at least one) is found. Every pod found is named.",
         {kProbePod, {"--all-pods", nullptr, "look for every pod attached"}},
         false,
         runProbe},
        {"convert",
         "write a program as Intel HEX or raw binary",
         "Read FILE (any format 'info' reads) and write it as Intel HEX the way hex2000 does with a\n"
         "16-bit ROM width, or as a raw binary of little-endian words from its lowest address with\n"
         "gaps filled with 0xFFFF (erased flash). OUT is replaced only once it is complete.",
         {{"--device", "F28332|F28334|F28335|none",
           "the device whose memory map the program must fit (default none:\n"
           "any C28x program, no memory map)"},
          kBase,
          {"--to", "hex|bin", "the format to write", true},
          {"-o", "OUT", "the file to write (- for standard output)", true}},
         true,
         runConvert,
         false},
        {"ledger",
         "convert, show or make a serial-number ledger",
         "'ledger import OLD NEW' converts a text ledger of an older version (OLD, left as it was)\n"
         "into a new SQLite ledger NEW, with every number and its state. 'ledger list LEDGER'\n"
         "shows every number of a ledger (a file or a PostgreSQL URI): its state (issued, used,\n"
         "failed), board and time. 'ledger init LEDGER' makes a new ledger file (write needs one),\n"
         "finishes one whose making was cut short, or makes a database's tables, so its owner can\n"
         "make them before granting the stations' role only the rights it uses.",
         {{"--serial-start", "N", "with init: the first number the ledger issues, in decimal (default 1)"}},
         true,
         runLedger,
         false,
         "import OLD NEW | list LEDGER | init LEDGER",
         3},
        {"pods",
         "list every pod attached",
         "List every Corvexlink POD found (serial number, device path, backend) without opening any;\n"
         "with --json, one JSON array of pods.",
         {},
         false,
         runPods,
         false},
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
    std::string unknown;
    auto options = parseOptions({&command.options, &commonOptions(command)}, args, error, &unknown);
    if (!options) {
        const bool elsewhere =
            !unknown.empty() && std::any_of(commandTable().begin(), commandTable().end(),
                                            [&](const CommandSpec& c) { return findOption(c, unknown) != nullptr; });
        if (elsewhere) error = std::string(command.name) + " does not take " + unknown;
        return std::nullopt;
    }
    ParsedArgs parsed;
    static_cast<ParsedOptions&>(parsed) = std::move(*options);
    parsed.command = command.name;
    if (!parsed.words.empty() && !command.takesFile) {
        error = std::string(command.name) + " takes no arguments";
        return std::nullopt;
    }
    if (parsed.words.size() > std::max<std::size_t>(command.maxWords, 1)) {
        error = "only one FILE may be given";
        return std::nullopt;
    }
    if (!parsed.words.empty()) {
        parsed.file = parsed.words.front();
        parsed.more.assign(parsed.words.begin() + 1, parsed.words.end());
    }
    if (command.takesFile && parsed.file.empty() && !parsed.has("--help")) {
        error = std::string(command.name) + " needs a FILE";
        return std::nullopt;
    }
    return parsed;
}

std::string commandHelp(const CommandSpec& command) {
    return "Usage: " + synopsis(command) + "\n" + command.description + "\n" + optionLines(command.options) +
           optionLines(commonOptions(command));
}

std::string usageText() {
    std::string text =
        "Usage: corvexlink-cli COMMAND [OPTIONS]\n"
        "  or:  corvexlink-cli --help | --version | --man\n"
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
        "\n" +
        podConnectionHelp() +
        "\n"
        "Exit status: 0 success, 1 the command failed (the reason is its last line), 2 the\n"
        "command line was wrong.\n";
    return text;
}

namespace {
// Text for roff: backslashes and hyphens escaped, no line starting with a control character.
std::string roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
        lineStart = c == '\n';
    }
    return out;
}

std::string manOptions(const std::vector<OptionSpec>& options) {
    std::string text;
    for (const OptionSpec& o : options) {
        text.append(".TP\n\\fB").append(roff(o.name)).append("\\fR");
        if (o.value != nullptr) text.append(" \\fI").append(roff(o.value)).append("\\fR");
        text.append("\n").append(roff(o.help)).append(o.required ? " (required)" : "").append("\n");
    }
    return text;
}
}  // namespace

std::string manPage() {
    std::string text = std::string(".TH CORVEXLINK\\-CLI 1 \"\" \"corvexlink\\-cli ") + CORVEXLINK_VERSION +
                       "\" \"User Commands\"\n"
                       ".SH NAME\ncorvexlink\\-cli \\- flash programmer for TI TMS320F2833x DSPs\n"
                       ".SH SYNOPSIS\n.B corvexlink\\-cli\n\\fICOMMAND\\fR [\\fIOPTIONS\\fR] [\\fIFILE\\fR]\n.br\n"
                       ".B corvexlink\\-cli\n\\-\\-help | \\-\\-version | \\-\\-man\n"
                       ".SH DESCRIPTION\n"
                       "Programs the flash of F28332, F28334 and F28335 targets through the Corvexlink POD, "
                       "and manages the pod's stand\\-alone job store. Every command is described below "
                       "with every option it takes.\n"
                       ".SH COMMANDS\n";
    for (const CommandSpec& c : commandTable()) {
        text += ".SS \"" + roff(c.name) + "\"\n.B " + roff(synopsis(c)) + "\n.PP\n" + roff(c.description) + "\n";
        text += manOptions(c.options) + manOptions(commonOptions(c));
    }
    text +=
        ".SH \"EXIT STATUS\"\n0 success, 1 the command failed (the reason is its last line), 2 the command line "
        "was wrong.\n"
        ".SH \"SEE ALSO\"\ncorvexlink(1), corvexlink\\-podsim(1)\n";
    return text;
}

}  // namespace cvl::cli
