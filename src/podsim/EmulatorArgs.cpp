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

const char* podsimUsage() {
    return "Usage: corvexlink-podsim [OPTIONS]\n"
           "Emulates a Corvexlink POD and its F2833x target on a pseudo-terminal that\n"
           "corvexlink and corvexlink-cli find like a real pod. Runs until SIGINT/SIGTERM.\n"
           "\n"
           "  --device F28332|F28334|F28335   target model (default F28335)\n"
           "  --flash FILE          target flash image (flash start to 0x33FFFF, 2 bytes a\n"
           "                        word, little-endian); created erased when missing, written\n"
           "                        after every target reset and at exit\n"
           "  --store FILE          the pod's serial-flash store, kept across restarts\n"
           "  --wire-model          real-time link timing (921600 baud 8N1, 1 ms USB latency)\n"
           "  --pod-time KEY=MS     pod-side time of a command with the wire model, KEY a\n"
           "                        letter or O00/O01/O02 (repeatable)\n"
           "  --fault FAULT         inject a fault (repeatable): silent:L:N, wrongack:L:N,\n"
           "                        stray:L:N, delay:L:N:MS, unplug:N\n"
           "  --trace FILE          write every byte in both directions with timestamps\n"
           "  --pod-version N       version in the identify reply (default 12)\n"
           "  --description TEXT    USB description to announce (default \"Corvexlink POD\")\n"
           "  --serial S            USB serial number to announce (default SIM<pid>)\n"
           "  --name NAME           announcement file name (default podsim-<pid>)\n"
           "  --help, --version\n";
}

std::optional<PodsimArgs> parsePodsimArgs(const std::vector<std::string>& args, std::string& error) {
    PodsimArgs out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            out.help = true;
        } else if (a == "--version") {
            out.version = true;
        } else if (a == "--wire-model") {
            out.emulator.wire.enabled = true;
        } else if (a == "--device") {
            if (!value(v)) return std::nullopt;
            const auto d = mcuFromName(v.c_str());
            if (!d) return error = "unknown device '" + v + "'", std::nullopt;
            out.emulator.device = *d;
        } else if (a == "--flash") {
            if (!value(out.flashFile)) return std::nullopt;
        } else if (a == "--store") {
            if (!value(out.storeFile)) return std::nullopt;
        } else if (a == "--trace") {
            if (!value(out.traceFile)) return std::nullopt;
        } else if (a == "--name") {
            if (!value(out.name)) return std::nullopt;
            if (out.name.empty() || out.name == "." || out.name == ".." || out.name.find('/') != std::string::npos ||
                out.name.find('\n') != std::string::npos || out.name.ends_with(".tmp")) {
                return error = "--name must be a plain file name, not ending in .tmp", std::nullopt;
            }
        } else if (a == "--description") {
            if (!value(out.emulator.description)) return std::nullopt;
            if (out.emulator.description.size() > 63 || out.emulator.description.find('\n') != std::string::npos) {
                return error = "--description takes one line of at most 63 characters", std::nullopt;
            }
        } else if (a == "--serial") {
            if (!value(out.serialNumber)) return std::nullopt;
            if (out.serialNumber.empty() || out.serialNumber.size() > 63 ||
                out.serialNumber.find_first_of("\r\n") != std::string::npos) {
                return error = "--serial takes one line of 1 to 63 characters", std::nullopt;
            }
        } else if (a == "--pod-version") {
            std::uint32_t n;
            if (!value(v)) return std::nullopt;
            if (!toNumber(v, n) || n > 99) return error = "--pod-version takes 0 to 99", std::nullopt;
            out.emulator.version = static_cast<std::uint16_t>(n);
        } else if (a == "--fault") {
            if (!value(v)) return std::nullopt;
            const auto f = parseFault(v);
            if (!f) return error = "bad fault '" + v + "'", std::nullopt;
            out.emulator.faults.push_back(*f);
        } else if (a == "--pod-time") {
            if (!value(v)) return std::nullopt;
            const auto eq = v.find('=');
            std::uint32_t ms;
            if (eq == std::string::npos || eq == 0 || !toNumber(v.substr(eq + 1), ms) || ms > 600000 ||
                !isPodTimeKey(v.substr(0, eq))) {
                return error = "bad --pod-time '" + v + "': KEY is a command letter or O00/O01/O02", std::nullopt;
            }
            out.emulator.wire.podTimeUs[v.substr(0, eq)] = ms * 1000;
        } else {
            return error = "unknown option '" + a + "'", std::nullopt;
        }
    }
    return out;
}

}  // namespace cvl::sim
