#include "app/QtWindowThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace cvl::ui {

namespace {
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

void QtWindowThread::post(std::function<void()> f) {
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void QtWindowThread::callAndWait(const std::function<void()>& f) {
    QMetaObject::invokeMethod(
        this, [&] { f(); }, Qt::BlockingQueuedConnection);
}

void QtWindowThread::waitHere() {
    QEventLoop loop;
    loop_ = &loop;
    qApp->installEventFilter(this);
    loop.exec();
    qApp->removeEventFilter(this);
    loop_ = nullptr;
}

void QtWindowThread::quitWaiting() {
    if (loop_ != nullptr) loop_->quit();
}

bool QtWindowThread::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(event->type())) return false;
    // Input to the window (not to a question box the command opened) is dropped.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) {
        auto* window = qobject_cast<QWindow*>(watched);
        return window != nullptr && window_.windowHandle() == window;
    }
    if (widget->window() != &window_) return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && escape_)
        escape_();
    return true;
}

}  // namespace cvl::ui
