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

    cvl::SteadyClock clock;
    cvl::ui::ProgrammerDialog dialog(cvl::loadSystemBackends, clock);
    QObject::connect(&instance, &cvl::ui::SingleInstance::activationRequested, &dialog, [&dialog] {
        dialog.showNormal();
        dialog.raise();
        dialog.activateWindow();
    });
    dialog.exec();
    return 0;
}
