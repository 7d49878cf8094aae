// corvexlink.exe: the flash programmer's window on Windows.

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "common/Clock.h"
#include "platform/Host.h"
#include "platform/win32/WideText.h"
#include "pod/SystemBackends.h"
#include "win/MainDialog.h"

namespace {

const wchar_t kTitleStart[] = L"TMS320F283x DSP Programmer";

// Brings the window of the copy already running to the front.
BOOL CALLBACK raiseFirst(HWND window, LPARAM) {
    wchar_t title[128] = L"";
    GetWindowTextW(window, title, 128);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() || std::wstring(title).rfind(kTitleStart, 0) != 0) return TRUE;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    return FALSE;
}

// The executable's name without its extension: the profile's key.
std::wstring programName() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.find_last_of(L'.'));
}

// --pod SERIAL|PORT: this window uses that pod (a bench's own shortcut).
std::string podNamed() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::string pod;
    for (int n = 1; args != nullptr && n + 1 < count; ++n) {
        if (std::wstring(args[n]) == L"--pod") pod = cvl::win32::utf8Text(args[n + 1]);
    }
    LocalFree(args);
    return pod;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // One copy per user: a second start brings the first to the front. The
    // handle stays open until the process ends.
    CreateMutexW(nullptr, TRUE, L"Corvexlink");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        EnumWindows(raiseFirst, 0);
        return 0;
    }
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const cvl::PreciseTimers preciseTimers;
    cvl::SteadyClock clock;
    const std::string pod = podNamed();
    cvl::win::MainDialog dialog(
        pod.empty() ? cvl::PodLink::BackendLoader(cvl::loadSystemBackends) : cvl::systemBackendsNaming({pod}), clock,
        programName(), pod);
    dialog.run();
    return 0;
}
