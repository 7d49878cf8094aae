#include "app/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

namespace cvl::ui {

namespace {
const QString kMain = QStringLiteral("Main Configuration");
const QString kFiles = QStringLiteral("File List");
const QString kPodSerial = QStringLiteral("POD Serial Number");

std::uint32_t number(QSettings& s, const QString& key, std::uint32_t fallback) {
    const QVariant v = s.value(key);
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    return v.isValid() && ok ? static_cast<std::uint32_t>(n) : fallback;
}

QString text(QSettings& s, const QString& key) {
    const QVariant v = s.value(key);
    return v.canConvert<QString>() ? v.toString() : QString();
}

QString recentKey(int n) { return QStringLiteral("Recent File%1").arg(n); }
QString keyName(int n) { return QStringLiteral("PW KEY%1").arg(n); }
}  // namespace

std::unique_ptr<QSettings> openProfile() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"),
                                       QCoreApplication::applicationName());
}

StoredSettings loadSettings(QSettings& s) {
    StoredSettings out;
    s.beginGroup(kMain);
    out.mcuType = static_cast<std::uint8_t>(number(s, QStringLiteral("MCU Type"), mcuIndex(kDefaultMcu)) & 0xFF);
    out.eraseAll = number(s, QStringLiteral("EraseAll Mode"), 0) != 0;
    out.csmUse = number(s, QStringLiteral("CSM Use Option"), 0) != 0;
    out.fileDirectory = text(s, QStringLiteral("File Directory"));
    out.podFileName = text(s, QStringLiteral("EEP File Name"));
    out.podSerial = text(s, kPodSerial);
    for (int n = 0; n < 8; ++n) out.keys.words[n] = static_cast<std::uint16_t>(number(s, keyName(n), 0xFFFF) & 0xFFFF);
    s.endGroup();

    s.beginGroup(kFiles);
    for (int n = 0; n < kMaxRecentFiles; ++n) {
        const QString path = text(s, recentKey(n));
        if (path.isEmpty()) break;
        if (QFileInfo::exists(path)) out.recentFiles.append(path);
    }
    s.endGroup();
    return out;
}

namespace {
// The profile holds the CSM keys: its folder is closed to others before it
// is written, and the file itself is the user's alone (an older, readable
// file is tightened when it is rewritten).
void closeProfileFolder(const QSettings& s) {
    const QString folder = QFileInfo(s.fileName()).absolutePath();
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
void closeProfileFile(const QSettings& s) {
    if (QFileInfo::exists(s.fileName())) {
        QFile::setPermissions(s.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}
}  // namespace

void saveSettings(QSettings& s, const StoredSettings& in) {
    closeProfileFolder(s);
    s.beginGroup(kMain);
    s.setValue(QStringLiteral("MCU Type"), static_cast<unsigned>(in.mcuType));
    s.setValue(QStringLiteral("EraseAll Mode"), in.eraseAll ? 1 : 0);
    s.setValue(QStringLiteral("CSM Use Option"), in.csmUse ? 1 : 0);
    s.setValue(QStringLiteral("File Directory"), in.fileDirectory);
    s.setValue(QStringLiteral("EEP File Name"), in.podFileName);
    s.setValue(kPodSerial, in.podSerial);
    for (int n = 0; n < 8; ++n) s.setValue(keyName(n), static_cast<unsigned>(in.keys.words[n]));
    s.endGroup();

    s.remove(kFiles);  // entries past the new list's end would come back at the next start
    s.beginGroup(kFiles);
    int k = 0;
    for (const QString& path : in.recentFiles) {
        if (path.isEmpty()) break;
        if (!QFileInfo::exists(path)) continue;
        if (k == kMaxRecentFiles) break;
        s.setValue(recentKey(k++), path);
    }
    s.endGroup();
    s.sync();
    closeProfileFile(s);
}

void saveFileDirectory(QSettings& s, const QString& directory) {
    closeProfileFolder(s);
    s.setValue(kMain + QStringLiteral("/File Directory"), directory);
    s.sync();
    closeProfileFile(s);
}

void savePodSerial(QSettings& s, const QString& serial) {
    closeProfileFolder(s);
    s.setValue(kMain + QLatin1Char('/') + kPodSerial, serial);
    s.sync();
    closeProfileFile(s);
}

std::uint16_t keyFromBoxText(const QString& text) {
    if (text.isEmpty()) return 0xFFFF;
    const QByteArray bytes = text.toLatin1();
    return static_cast<std::uint16_t>(std::strtoul(bytes.constData(), nullptr, 16) & 0xFFFF);
}

}  // namespace cvl::ui
