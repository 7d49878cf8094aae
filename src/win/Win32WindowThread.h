#pragma once
// The window core's seam to the Win32 message loop: functions posted to the
// dialog's thread as a private message, and a message loop of its own while
// a command's worker runs, in which the dialog keeps painting and answering
// the system while the user's mouse and key input to it is dropped (Esc
// tells the core that the user wants to close).

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "session/WindowThread.h"

namespace cvl::win {

// The dialog's private messages: run the posted functions; run one now (sent).
inline constexpr UINT kRunPosted = WM_APP + 1;
inline constexpr UINT kRunNow = WM_APP + 2;

class Win32WindowThread : public session::WindowThread {
public:
    void setWindow(HWND dialog) { dialog_ = dialog; }
    void setEscapeWhileWaiting(std::function<void()> f) { escape_ = std::move(f); }

    void post(std::function<void()> f) override;
    void callAndWait(const std::function<void()>& f) override;
    void waitHere() override;
    void quitWaiting() override { quit_ = true; }

    // On the dialog's thread, from its kRunPosted and kRunNow messages.
    void runPosted();
    void runNow(LPARAM message);

private:
    bool dropped(const MSG& msg);

    HWND dialog_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    bool quit_ = false;
    std::function<void()> escape_;
};

}  // namespace cvl::win
