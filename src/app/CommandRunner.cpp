#include "app/CommandRunner.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QWindow>
#include <QWidget>
#include <thread>

namespace cvl::ui {

namespace {

// The window's sink, reached from the worker: every call is queued to the
// window's thread, in order.
class ForwardingSink : public StatusSink {
public:
    ForwardingSink(CommandRunner& runner, StatusSink& target) : runner_(runner), target_(target) {}
    void showMessage(std::string_view text, bool isError) override {
        runner_.post([this, t = std::string(text), isError] { target_.showMessage(t, isError); });
    }
    void commandStarted() override {
        runner_.post([this] { target_.commandStarted(); });
    }
    void commandEnded() override {
        runner_.post([this] { target_.commandEnded(); });
    }
    void beginProgress(std::uint32_t total) override {
        runner_.post([this, total] { target_.beginProgress(total); });
    }
    void stepProgress() override {
        runner_.post([this] { target_.stepProgress(); });
    }
    void resetProgress() override {
        runner_.post([this] { target_.resetProgress(); });
    }

private:
    CommandRunner& runner_;
    StatusSink& target_;
};

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
    }
}

}  // namespace

CommandRunner::CommandRunner(QWidget& window, StatusSink& windowSink)
    : QObject(&window), window_(window), sink_(windowSink) {}

void CommandRunner::post(std::function<void()> f) {
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

bool CommandRunner::ask(const std::function<bool()>& f) {
    bool answer = false;
    QMetaObject::invokeMethod(
        this, [&] { answer = f(); }, Qt::BlockingQueuedConnection);
    return answer;
}

void CommandRunner::run(const std::function<void(StatusSink&)>& work) {
    running_ = true;
    qApp->installEventFilter(this);
    QEventLoop loop;
    ForwardingSink sink(*this, sink_);
    std::thread worker([&] {
        work(sink);
        // Queued after every status call the command made: the loop ends once they are shown.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    qApp->removeEventFilter(this);
    running_ = false;
}

bool CommandRunner::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(event->type())) return false;
    // Input to the window (not to a question box the command opened) is dropped.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) {
        auto* window = qobject_cast<QWindow*>(watched);
        return window != nullptr && window_.windowHandle() == window;
    }
    if (widget->window() != &window_) return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && closeRefused_)
        closeRefused_();
    return true;
}

}  // namespace cvl::ui
