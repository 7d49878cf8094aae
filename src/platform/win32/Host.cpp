#include "platform/Host.h"

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <timeapi.h>

#include "platform/win32/WideText.h"

namespace cvl {

std::string hostName() {
    wchar_t name[256] = {};
    DWORD size = 255;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return "";
    return win32::utf8Text(std::wstring(name, size));
}

bool utcTime(std::time_t t, std::tm& out) { return gmtime_s(&out, &t) == 0; }

bool localTime(std::time_t t, std::tm& out) { return localtime_s(&out, &t) == 0; }

std::string userStateFolder() {
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (n == 0) return "";
    std::wstring folder(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), n);
    if (got == 0 || got >= n) return "";
    folder.resize(got);
    return win32::utf8Text(folder);
}

bool waitReadable(std::intptr_t socket, std::uint32_t ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(socket), &readable);
    timeval limit{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

bool stdoutIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

PreciseTimers::PreciseTimers() { timeBeginPeriod(1); }

PreciseTimers::~PreciseTimers() { timeEndPeriod(1); }

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(win32::utf8Text(wide[i]));
    LocalFree(wide);
    return out;
}

Utf8Console::Utf8Console() : output_(GetConsoleOutputCP()), input_(GetConsoleCP()) {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
    if (output_ != 0) SetConsoleOutputCP(output_);
    if (input_ != 0) SetConsoleCP(input_);
}

}  // namespace cvl
