// A profile file with any content: reading the settings gives values in
// range or defaults, and the key boxes' save rule takes any text.

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/SettingsStore.h"
#include "command/CsmKeyText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profile.conf"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    cvl::ui::SettingsStore store(path);
    const cvl::session::Profile p = store.load();
    if (p.recentFiles.size() > cvl::session::kMaxRecentFiles) std::abort();
    (void)cvl::parseKeyText(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
