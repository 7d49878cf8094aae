// A profile file with any content: reading the settings gives values in
// range or defaults, and the key boxes' save rule takes any text.

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "app/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profile.conf"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QSettings profile(path, QSettings::IniFormat);
    const cvl::ui::StoredSettings s = cvl::ui::loadSettings(profile);
    if (s.recentFiles.size() > cvl::ui::kMaxRecentFiles) std::abort();
    (void)cvl::ui::keyFromBoxText(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
