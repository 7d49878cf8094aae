#pragma once
// The profile in the registry: HKEY_CURRENT_USER\Software\Quillon\<program>,
// sections as keys, numbers as 32-bit registry numbers, texts as strings.

#include <string>

#include "session/Profile.h"

namespace cvl::win {

class RegistryProfileStore : public session::ProfileStore {
public:
    // program: the executable's name without its extension ("corvexlink").
    explicit RegistryProfileStore(std::wstring program) : root_(L"Software\\Quillon\\" + program) {}
    session::Profile load() override;
    void save(const session::Profile& profile) override;
    void saveFileDirectory(const std::string& directory) override;
    void savePodSerial(const std::string& serial) override;

private:
    std::wstring root_;
};

}  // namespace cvl::win
