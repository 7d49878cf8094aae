#pragma once
// The profile: section "Main Configuration" (device, erase mode, CSM use,
// last folder, POD file name, the chosen pod's serial number, the eight keys) and section "File List" (ten
// recent files). Missing or unreadable values give their defaults.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "pod/PodCommands.h"

namespace cvl::ui {

struct StoredSettings {
    std::uint8_t mcuType = mcuIndex(kDefaultMcu);  // the selector index: low 8 bits as stored, clamped by the window
    bool eraseAll = false;
    bool csmUse = false;
    QString fileDirectory;
    QString podFileName;
    QString podSerial;  // the pod the user chose, by serial number; empty: none chosen
    CsmKeys keys;
    QStringList recentFiles;  // existing files only, most recent first
};

inline constexpr int kMaxRecentFiles = 10;

// Opens the profile of this user and program.
std::unique_ptr<QSettings> openProfile();

StoredSettings loadSettings(QSettings& profile);
// Writes every value; recent files whose file is gone are skipped, the rest
// numbered from 0.
void saveSettings(QSettings& profile, const StoredSettings& settings);
void saveFileDirectory(QSettings& profile, const QString& directory);
void savePodSerial(QSettings& profile, const QString& serial);

// A key box's text as saved: empty gives 0xFFFF, otherwise the low 16 bits of
// its leading hexadecimal number (leading blanks and 0x skipped, 0 if none).
std::uint16_t keyFromBoxText(const QString& text);

}  // namespace cvl::ui
