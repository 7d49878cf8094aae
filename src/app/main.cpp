// corvexlink: the flash programmer's window.

#include <QApplication>

#include "common/Clock.h"
#include "platform/Host.h"
#include "app/ProgrammerDialog.h"
#include "app/SingleInstance.h"
#include "pod/SystemBackends.h"

int main(int argc, char** argv) {
    const cvl::PreciseTimers preciseTimers;
    QApplication app(argc, argv);
    // The profile is Quillon/<executable name>; QApplication takes the
    // executable's base name as the application name.
    QCoreApplication::setOrganizationName(QStringLiteral("Quillon"));

    cvl::ui::SingleInstance instance(QStringLiteral("Corvexlink"));
    if (!instance.acquire()) {
        // Already running: its window comes to the front instead.
        instance.activateRunning();
        return 0;
    }

    // --pod SERIAL|PORT: this window uses that pod (a bench's own shortcut).
    std::string podName;
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--pod"));
    if (at >= 0 && at + 1 < args.size()) podName = args.at(at + 1).toStdString();

    cvl::SteadyClock clock;
    cvl::ui::ProgrammerDialog dialog(
        podName.empty() ? cvl::PodLink::BackendLoader(cvl::loadSystemBackends) : cvl::systemBackendsNaming({podName}),
        clock, nullptr, podName);
    QObject::connect(&instance, &cvl::ui::SingleInstance::activationRequested, &dialog, [&dialog] {
        dialog.showNormal();
        dialog.raise();
        dialog.activateWindow();
    });
    dialog.exec();
    return 0;
}
