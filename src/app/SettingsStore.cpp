#include "app/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

std::string text(QSettings& s, const QString& key) {
    const QVariant v = s.value(key);
    return v.canConvert<QString>() ? v.toString().toStdString() : std::string();
}

QString recentKey(int n) { return QStringLiteral("Recent File%1").arg(n); }
QString keyName(int n) { return QStringLiteral("PW KEY%1").arg(n); }
}  // namespace

std::unique_ptr<QSettings> openProfile() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"),
                                       QCoreApplication::applicationName());
}

std::unique_ptr<QSettings> SettingsStore::open() const {
    if (file_.isEmpty()) return openProfile();
    return std::make_unique<QSettings>(file_, QSettings::IniFormat);
}

session::Profile SettingsStore::load() {
    const auto profile = open();
    QSettings& s = *profile;
    session::Profile out;
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
    for (std::size_t n = 0; n < session::kMaxRecentFiles; ++n) {
        const std::string path = text(s, recentKey(static_cast<int>(n)));
        if (path.empty()) break;
        out.recentFiles.push_back(path);
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

void SettingsStore::save(const session::Profile& in) {
    const auto profile = open();
    QSettings& s = *profile;
    closeProfileFolder(s);
    s.beginGroup(kMain);
    s.setValue(QStringLiteral("MCU Type"), static_cast<unsigned>(in.mcuType));
    s.setValue(QStringLiteral("EraseAll Mode"), in.eraseAll ? 1 : 0);
    s.setValue(QStringLiteral("CSM Use Option"), in.csmUse ? 1 : 0);
    s.setValue(QStringLiteral("File Directory"), QString::fromStdString(in.fileDirectory));
    s.setValue(QStringLiteral("EEP File Name"), QString::fromStdString(in.podFileName));
    s.setValue(kPodSerial, QString::fromStdString(in.podSerial));
    for (int n = 0; n < 8; ++n) s.setValue(keyName(n), static_cast<unsigned>(in.keys.words[n]));
    s.endGroup();

    s.remove(kFiles);  // entries past the new list's end would come back at the next start
    s.beginGroup(kFiles);
    for (std::size_t k = 0; k < in.recentFiles.size() && k < session::kMaxRecentFiles; ++k)
        s.setValue(recentKey(static_cast<int>(k)), QString::fromStdString(in.recentFiles[k]));
    s.endGroup();
    s.sync();
    closeProfileFile(s);
}

void SettingsStore::saveFileDirectory(const std::string& directory) {
    const auto profile = open();
    closeProfileFolder(*profile);
    profile->setValue(kMain + QStringLiteral("/File Directory"), QString::fromStdString(directory));
    profile->sync();
    closeProfileFile(*profile);
}

void SettingsStore::savePodSerial(const std::string& serial) {
    const auto profile = open();
    closeProfileFolder(*profile);
    profile->setValue(kMain + QLatin1Char('/') + kPodSerial, QString::fromStdString(serial));
    profile->sync();
    closeProfileFile(*profile);
}

}  // namespace cvl::ui
