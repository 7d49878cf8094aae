#include "platform/Interrupts.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace cvl {

void reportFileSizeLimitAsError() {}

// Ctrl-C and Ctrl-Break are ignored by the whole process while held (a
// console attribute, so no state of ours); one pressed meanwhile is dropped,
// and the work in between finishes.
struct InterruptsHeld::State {
    bool held = false;
};

InterruptsHeld::InterruptsHeld() : state_(std::make_unique<State>()) {
    state_->held = SetConsoleCtrlHandler(nullptr, TRUE) != 0;
}

InterruptsHeld::~InterruptsHeld() {
    if (state_->held) SetConsoleCtrlHandler(nullptr, FALSE);
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
