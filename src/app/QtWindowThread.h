#pragma once
// The window core's seam to Qt's event loop: functions posted to the
// window's thread, and a wait there while a command's worker runs, during
// which the window keeps painting and the user's mouse, key and wheel input
// to it is dropped when it is made (as a disabled control drops it), not
// queued for later.

#include <QObject>
#include <functional>

#include "session/WindowThread.h"

class QEventLoop;
class QWidget;

namespace cvl::ui {

class QtWindowThread : public QObject, public session::WindowThread {
public:
    explicit QtWindowThread(QWidget& window) : QObject(nullptr), window_(window) {}
    // Called on the window's thread when Esc, which would close the window,
    // is pressed during a command.
    void setEscapeWhileWaiting(std::function<void()> f) { escape_ = std::move(f); }

    void post(std::function<void()> f) override;
    void callAndWait(const std::function<void()>& f) override;
    void waitHere() override;
    void quitWaiting() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    QEventLoop* loop_ = nullptr;
    std::function<void()> escape_;
};

}  // namespace cvl::ui
