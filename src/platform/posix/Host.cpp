#include "platform/Host.h"

#include <unistd.h>

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

bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void useUtf8Console() {}

PreciseTimers::PreciseTimers() {
#if defined(__linux__)
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

PreciseTimers::~PreciseTimers() = default;

}  // namespace cvl
