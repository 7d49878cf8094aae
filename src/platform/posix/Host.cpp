#include "platform/Host.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace cvl {

std::string hostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

bool utcTime(std::time_t t, std::tm& out) { return gmtime_r(&t, &out) != nullptr; }

bool localTime(std::time_t t, std::tm& out) { return localtime_r(&t, &out) != nullptr; }

std::string userStateFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') return state;
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return std::string(home) + "/.local/state";
    return "";
}

bool waitReadable(std::intptr_t socket, std::uint32_t ms) {
    pollfd watched{static_cast<int>(socket), POLLIN, 0};
    const int timeout = static_cast<int>(std::min<std::uint32_t>(ms, 1u << 30));
    return ::poll(&watched, 1, timeout) > 0;
}

bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

PreciseTimers::PreciseTimers() {
#if defined(__linux__)
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

PreciseTimers::~PreciseTimers() = default;

}  // namespace cvl
