#include "win/Win32WindowThread.h"

namespace cvl::win {

void Win32WindowThread::post(std::function<void()> f) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(f));
    }
    PostMessageW(dialog_, kRunPosted, 0, 0);
}

void Win32WindowThread::callAndWait(const std::function<void()>& f) {
    SendMessageW(dialog_, kRunNow, 0, reinterpret_cast<LPARAM>(&f));
}

void Win32WindowThread::runPosted() {
    for (;;) {
        std::function<void()> f;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (posted_.empty()) return;
            f = std::move(posted_.front());
            posted_.pop_front();
        }
        f();
    }
}

void Win32WindowThread::runNow(LPARAM message) {
    // A sent message overtakes posted ones: what was posted before it is shown first.
    runPosted();
    (*reinterpret_cast<const std::function<void()>*>(message))();
}

bool Win32WindowThread::dropped(const MSG& msg) {
    const bool input = (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
                       (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) ||
                       (msg.message >= WM_NCMOUSEMOVE && msg.message <= WM_NCMBUTTONDBLCLK);
    if (!input || (msg.hwnd != dialog_ && !IsChild(dialog_, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && escape_) escape_();
    return true;
}

void Win32WindowThread::waitHere() {
    quit_ = false;
    MSG msg;
    while (!quit_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (dropped(msg)) continue;
        if (IsDialogMessageW(dialog_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace cvl::win
