#pragma once
// Runs a window command off the window's thread, so that the window keeps
// painting and answering the window manager during a 40-second write, while
// nothing the user does meanwhile is acted on: mouse, key and wheel input to
// the window is dropped when it is made (as a disabled control drops it), not
// queued for later. Status calls reach the window's sink in the order they
// were made, on its thread; run() returns when the command has ended.

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "common/StatusSink.h"

class QWidget;

namespace cvl::ui {

class CommandRunner : public QObject {
public:
    CommandRunner(QWidget& window, StatusSink& windowSink);

    bool running() const { return running_; }
    // Called on the window's thread when Esc, which would close the window,
    // is dropped during a command: the user is told why nothing happens.
    void setCloseRefused(std::function<void()> f) { closeRefused_ = std::move(f); }

    // Runs work on a worker thread with a sink that forwards to the window's.
    void run(const std::function<void(StatusSink&)>& work);

    // From the worker: f on the window's thread; queued (in order with the
    // status calls) or waited for.
    void post(std::function<void()> f);
    bool ask(const std::function<bool()>& f);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    StatusSink& sink_;
    bool running_ = false;
    std::function<void()> closeRefused_;
};

}  // namespace cvl::ui
