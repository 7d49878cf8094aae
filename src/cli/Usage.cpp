#include "Usage.h"

#include <cstdio>
#include <map>

namespace cvl::cli {

namespace {
const char* const kCommon =
    "      --json        print one JSON object with the outcome instead of the step lines\n"
    "      --trace FILE  write every byte to and from the pod, with timestamps, to FILE\n"
    "  -h, --help        show this help\n";

const std::map<std::string, std::string>& commands() {
    static const std::map<std::string, std::string> texts = {
        {"info",
         "Usage: corvexlink-cli info [--device F28332|F28334|F28335] [--json] [--trace FILE] FILE\n"
         "Load a TI COFF program for the device and show its sections and summary.\n"
         "      --device D    the target device (default F28335)\n"},
        {"write",
         "Usage: corvexlink-cli write [--device D] [--erase-all] [--csm KEY0,...,KEY7] [--json] [--trace FILE] FILE\n"
         "Program FILE into the target through the pod (Target Write): boot it over SCI, erase,\n"
         "program and reset it; a program without flash sections is streamed into RAM.\n"
         "      --device D    F28332, F28334 or F28335 (default F28335)\n"
         "      --erase-all   erase every sector, not only those the program uses\n"
         "      --csm KEYS    unlock the code security module with eight hexadecimal words\n"
         "                    separated by commas (an empty word is FFFF)\n"},
        {"reset",
         "Usage: corvexlink-cli reset [--json] [--trace FILE]\n"
         "Reset the target board through the pod (Target Reset).\n"},
        {"pod-write",
         "Usage: corvexlink-cli pod-write [--device D] [--erase-all] [--csm KEY0,...,KEY7] [--name NAME]\n"
         "                                [--json] [--trace FILE] FILE\n"
         "Store FILE's flash sections, the CSM password, the erase choice and a tag in the pod\n"
         "so that it can program boards on its own (POD Write).\n"
         "      --device D    F28332, F28334 or F28335 (default F28335)\n"
         "      --erase-all   the stored job erases every sector\n"
         "      --csm KEYS    store the CSM password (eight hexadecimal words, commas between)\n"
         "      --name NAME   the job's name, at most 8 characters (default: FILE's name)\n"},
        {"pod-verify",
         "Usage: corvexlink-cli pod-verify [--device D] [--json] [--trace FILE] FILE\n"
         "Check the job stored in the pod against FILE (POD Verify).\n"
         "      --device D    F28332, F28334 or F28335 (default F28335)\n"},
        {"pod-info",
         "Usage: corvexlink-cli pod-info [--json] [--trace FILE]\n"
         "Show the pod's firmware version and its stored job's name and date (POD Info).\n"},
        {"probe",
         "Usage: corvexlink-cli probe [--json] [--trace FILE]\n"
         "Look for the pod without opening it; exit status 0 when one is found.\n"},
    };
    return texts;
}
}  // namespace

std::string commandHelp(const std::string& command) {
    const auto it = commands().find(command);
    return it == commands().end() ? std::string() : it->second + kCommon;
}

const char* usageText() {
    return "Usage: corvexlink-cli COMMAND [OPTIONS]\n"
           "  or:  corvexlink-cli --help | --version\n"
           "Flash programmer for TI TMS320F2833x DSPs through the Corvexlink POD.\n"
           "\n"
           "Commands:\n"
           "  info        load a COFF program and show its sections\n"
           "  write       program a COFF program into the target (Target Write)\n"
           "  reset       reset the target board (Target Reset)\n"
           "  pod-write   store a programming job in the pod (POD Write)\n"
           "  pod-verify  check the pod's stored job against a program (POD Verify)\n"
           "  pod-info    show the pod's version and stored job (POD Info)\n"
           "  probe       look for the pod\n"
           "\n"
           "'corvexlink-cli COMMAND --help' describes a command's options.\n"
           "\n"
           "The pod is the USB device described as \"Corvexlink POD\": found through FTDI's D2XX\n"
           "library when it is installed, the kernel's ftdi_sio driver (/dev/ttyUSB*), or a running\n"
           "corvexlink-podsim.\n"
           "\n"
           "Exit status: 0 success, 1 the command failed (the reason is its last line), 2 the\n"
           "command line was wrong.\n";
}

int usageError(const std::string& what) {
    std::fprintf(stderr, "corvexlink-cli: %s\nTry 'corvexlink-cli --help'.\n", what.c_str());
    return kExitUsage;
}

}  // namespace cvl::cli
