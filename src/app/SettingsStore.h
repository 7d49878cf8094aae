#pragma once
// The profile kept with QSettings: organisation "Quillon", the program's
// name, sections "Main Configuration" and "File List". The file holds the
// CSM keys: its folder and the file are the user's alone.

#include <QSettings>
#include <memory>

#include "session/Profile.h"

namespace cvl::ui {

// Opens the profile of this user and program.
std::unique_ptr<QSettings> openProfile();

class SettingsStore : public session::ProfileStore {
public:
    session::Profile load() override;
    void save(const session::Profile& profile) override;
    void saveFileDirectory(const std::string& directory) override;
    void savePodSerial(const std::string& serial) override;
};

}  // namespace cvl::ui
