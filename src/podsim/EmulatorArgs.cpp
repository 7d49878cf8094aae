#include "podsim/EmulatorArgs.h"

#include "sim/Faults.h"

namespace cvl::sim {

namespace {
// The keys --pod-time takes: a command letter of the protocol, or a flash operation.
bool isPodTimeKey(const std::string& key) {
    static const std::string kLetters = "IRNMKOUXYSGHiVWLPTQJhgl";
    if (key == "O00" || key == "O01" || key == "O02") return true;
    return key.size() == 1 && kLetters.find(key[0]) != std::string::npos;
}
}  // namespace

const std::vector<OptionSpec>& podsimOptions() {
    static const std::vector<OptionSpec> options = {
        {"--device", "F28332|F28334|F28335", "target model (default F28335)"},
        {"--flash", "FILE",
         "target flash image (flash start to 0x33FFFF, 2 bytes a word,\n"
         "little-endian); created erased when missing, written after every\n"
         "target reset and at exit"},
        {"--store", "FILE", "the pod's serial-flash store, kept across restarts"},
        {"--wire-model", nullptr, "real-time link timing (921600 baud 8N1, 1 ms USB latency)"},
        {"--pod-time", "KEY=MS",
         "pod-side time of a command with the wire model, KEY a letter or\n"
         "O00/O01/O02; give it several times",
         false, true},
        {"--fault", "FAULT",
         "inject a fault; give it several times: silent:L:N, wrongack:L:N,\n"
         "stray:L:N, delay:L:N:MS, unplug:N",
         false, true},
        {"--trace", "FILE", "write every byte in both directions with timestamps"},
        {"--pod-version", "N", "version in the identify reply (default 12)"},
        {"--description", "TEXT", "USB description to announce (default \"Corvexlink POD\")"},
        {"--serial", "S", "USB serial number to announce (default SIM<pid>)"},
        {"--name", "NAME", "announcement file name (default podsim-<pid>)"},
        {"--help", nullptr, "show this help"},
        {"--version", nullptr, "show the version"},
    };
    return options;
}

std::string podsimUsage() {
    return "Usage: corvexlink-podsim [OPTIONS]\n"
           "Emulates a Corvexlink POD and its F2833x target on a pseudo-terminal that\n"
           "corvexlink and corvexlink-cli find like a real pod. Runs until SIGINT/SIGTERM.\n"
           "\n" +
           optionLines(podsimOptions());
}

namespace {

// One option's value into the arguments; the text of what is wrong with it otherwise.
std::optional<std::string> takeValue(PodsimArgs& out, const std::string& option, const std::string& v) {
    std::uint32_t n = 0;
    if (option == "--device") {
        const auto d = mcuFromName(v.c_str());
        if (!d) return "unknown device '" + v + "'";
        out.emulator.device = *d;
    } else if (option == "--flash") {
        out.flashFile = v;
    } else if (option == "--store") {
        out.storeFile = v;
    } else if (option == "--trace") {
        out.traceFile = v;
    } else if (option == "--name") {
        if (v.empty() || v == "." || v == ".." || v.find('/') != std::string::npos ||
            v.find('\n') != std::string::npos || v.ends_with(".tmp"))
            return "--name must be a plain file name, not ending in .tmp";
        out.name = v;
    } else if (option == "--description") {
        if (v.size() > 63 || v.find('\n') != std::string::npos)
            return "--description takes one line of at most 63 characters";
        out.emulator.description = v;
    } else if (option == "--serial") {
        if (v.empty() || v.size() > 63 || v.find_first_of("\r\n") != std::string::npos)
            return "--serial takes one line of 1 to 63 characters";
        out.serialNumber = v;
    } else if (option == "--pod-version") {
        if (!toNumber(v, n) || n > 99) return "--pod-version takes 0 to 99";
        out.emulator.version = static_cast<std::uint16_t>(n);
    } else if (option == "--fault") {
        const auto f = parseFault(v);
        if (!f) return "bad fault '" + v + "'";
        out.emulator.faults.push_back(*f);
    } else if (option == "--pod-time") {
        const auto eq = v.find('=');
        if (eq == std::string::npos || eq == 0 || !toNumber(v.substr(eq + 1), n) || n > 600000 ||
            !isPodTimeKey(v.substr(0, eq)))
            return "bad --pod-time '" + v + "': KEY is a command letter or O00/O01/O02";
        out.emulator.wire.podTimeUs[v.substr(0, eq)] = n * 1000;
    }
    return std::nullopt;
}

}  // namespace

std::optional<PodsimArgs> parsePodsimArgs(const std::vector<std::string>& args, std::string& error) {
    const auto parsed = parseOptions({&podsimOptions()}, args, error);
    if (!parsed) return std::nullopt;
    if (!parsed->words.empty()) return error = "corvexlink-podsim takes no arguments", std::nullopt;
    PodsimArgs out;
    out.help = parsed->has("--help");
    out.version = parsed->has("--version");
    out.emulator.wire.enabled = parsed->has("--wire-model");
    for (const auto& [option, v] : parsed->values) {
        if (const auto wrong = takeValue(out, option, v)) return error = *wrong, std::nullopt;
    }
    return out;
}

}  // namespace cvl::sim
