#pragma once
// The seam between the window core and a toolkit's event loop: run a
// function on the window's thread, and wait there (painting, answering the
// window manager) until a command's worker has finished.

#include <functional>

namespace cvl::session {

class WindowThread {
public:
    virtual ~WindowThread() = default;
    // f runs on the window's thread, after everything posted before it.
    virtual void post(std::function<void()> f) = 0;
    // From another thread: runs f on the window's thread and waits for it.
    virtual void callAndWait(const std::function<void()>& f) = 0;
    // Runs the window's event loop until quitWaiting() is called on the
    // window's thread.
    virtual void waitHere() = 0;
    virtual void quitWaiting() = 0;
};

}  // namespace cvl::session
