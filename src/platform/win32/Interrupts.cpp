#include "platform/Interrupts.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace cvl {

void reportFileSizeLimitAsError() {}

namespace {

// The events of a held stretch, named after the process so that the handler
// (a plain function the system calls) finds them without a global.
std::wstring heldEventName(const wchar_t* what) {
    return std::wstring(L"Local\\corvexlink-held-") + what + L"-" + std::to_wstring(GetCurrentProcessId());
}

// While held: Ctrl-C and Ctrl-Break are noted and take effect when the
// stretch ends; closing the console (or logging off) waits for the stretch
// to end, within the few seconds the system allows, then the process ends.
BOOL WINAPI whileHeld(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        const HANDLE pending = OpenEventW(EVENT_MODIFY_STATE, FALSE, heldEventName(L"pending").c_str());
        if (pending != nullptr) {
            SetEvent(pending);
            CloseHandle(pending);
        }
        return TRUE;
    }
    const HANDLE done = OpenEventW(SYNCHRONIZE, FALSE, heldEventName(L"done").c_str());
    if (done != nullptr) {
        WaitForSingleObject(done, 4000);
        CloseHandle(done);
    }
    return FALSE;
}

}  // namespace

struct InterruptsHeld::State {
    HANDLE pending = nullptr;
    HANDLE done = nullptr;
};

InterruptsHeld::InterruptsHeld() : state_(std::make_unique<State>()) {
    state_->pending = CreateEventW(nullptr, TRUE, FALSE, heldEventName(L"pending").c_str());
    state_->done = CreateEventW(nullptr, TRUE, FALSE, heldEventName(L"done").c_str());
    SetConsoleCtrlHandler(whileHeld, TRUE);
}

// An interrupt that came meanwhile ends the program now, as a shell reports SIGINT.
InterruptsHeld::~InterruptsHeld() {
    if (state_->done != nullptr) SetEvent(state_->done);
    SetConsoleCtrlHandler(whileHeld, FALSE);
    const bool interrupted = state_->pending != nullptr && WaitForSingleObject(state_->pending, 0) == WAIT_OBJECT_0;
    if (state_->pending != nullptr) CloseHandle(state_->pending);
    if (state_->done != nullptr) CloseHandle(state_->done);
    if (interrupted) std::_Exit(128 + 2);
}

namespace {

// The event a console control event sets: named after the process, so the
// handler (a plain function the system calls) finds it without a global.
std::wstring interruptEventName() { return L"Local\\corvexlink-interrupt-" + std::to_wstring(GetCurrentProcessId()); }

BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    const HANDLE e = OpenEventW(EVENT_MODIFY_STATE, FALSE, interruptEventName().c_str());
    if (e == nullptr) return FALSE;
    SetEvent(e);
    CloseHandle(e);
    Sleep(INFINITE);  // the watcher ends the process
    return TRUE;
}

}  // namespace

struct InterruptWatch::State {
    HANDLE interrupted = nullptr;
    HANDLE stop = nullptr;
    std::thread watcher;
};

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) : state_(std::make_unique<State>()) {
    state_->interrupted = CreateEventW(nullptr, TRUE, FALSE, interruptEventName().c_str());
    state_->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onControl, TRUE);
    state_->watcher = std::thread([s = state_.get(), onInterrupt = std::move(onInterrupt)] {
        const HANDLE events[] = {s->interrupted, s->stop};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return;
        onInterrupt();
        std::_Exit(128 + 2);  // as a shell reports SIGINT
    });
}

InterruptWatch::~InterruptWatch() {
    SetEvent(state_->stop);
    state_->watcher.join();
    SetConsoleCtrlHandler(onControl, FALSE);
    CloseHandle(state_->interrupted);
    CloseHandle(state_->stop);
}

}  // namespace cvl
