#pragma once
// The machine and its time.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace cvl {

std::string hostName();
// The calendar time of t, in UTC or local time; false when it cannot be had.
bool utcTime(std::time_t t, std::tm& out);
bool localTime(std::time_t t, std::tm& out);
// The user's folder for state a program keeps between runs (UTF-8):
// $XDG_STATE_HOME, else ~/.local/state on POSIX; %LOCALAPPDATA% on Windows.
// Empty when the environment names none.
std::string userStateFolder();

// Waits until the socket (a descriptor, or a Windows SOCKET) has something to
// read, or ms pass; false when the time passed or the wait failed.
bool waitReadable(std::intptr_t socket, std::uint32_t ms);

// Whether standard output is a terminal (a progress bar may be drawn).
bool stdoutIsTerminal();

// The program's arguments as UTF-8 text (on Windows from the wide command
// line, so names in any script arrive whole).
std::vector<std::string> commandLineArguments(int argc, char** argv);
// While it lives the console shows and takes UTF-8 text (Windows; elsewhere
// it does already); the code pages it had come back when it ends.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    [[maybe_unused]] unsigned output_ = 0;  // the code pages to restore (Windows)
    [[maybe_unused]] unsigned input_ = 0;
};

// Sleeps and timers on time while it lives: link waits are a few hundred
// microseconds and limits 10 ms, so the system's default batching of
// wake-ups (Linux timer slack of 50 us, Windows' 15.6 ms timer) would be a
// visible share of them.
class PreciseTimers {
public:
    PreciseTimers();
    ~PreciseTimers();
    PreciseTimers(const PreciseTimers&) = delete;
    PreciseTimers& operator=(const PreciseTimers&) = delete;
};

}  // namespace cvl
