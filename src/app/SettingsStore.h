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
    // file: a profile file of its own (INI), instead of this user's and program's.
    explicit SettingsStore(QString file = {}) : file_(std::move(file)) {}
    session::Profile load() override;
    void save(const session::Profile& profile) override;
    void saveFileDirectory(const std::string& directory) override;
    void savePodSerial(const std::string& serial) override;

private:
    std::unique_ptr<QSettings> open() const;
    QString file_;
};

}  // namespace cvl::ui
