#pragma once
// The window's profile: section "Main Configuration" (device, erase mode,
// CSM use and its eight words, last folder, POD file name, the chosen pod's
// serial number) and section "File List" (ten recent files). Missing or
// unreadable values give these defaults.

#include <cstdint>
#include <string>
#include <vector>

#include "image/McuTable.h"
#include "pod/PodCommands.h"

namespace cvl::session {

inline constexpr std::size_t kMaxRecentFiles = 10;

struct Profile {
    std::uint8_t mcuType = mcuIndex(kDefaultMcu);  // the selector index: low 8 bits as stored
    bool eraseAll = false;
    bool csmUse = false;
    std::string fileDirectory;
    std::string podFileName;
    std::string podSerial;  // the pod the user chose, by serial number; empty: none chosen
    CsmKeys keys;
    std::vector<std::string> recentFiles;  // most recent first
};

// Where a face keeps the profile (QSettings on Linux, the registry on
// Windows). Reads never fail: what cannot be read is its default.
class ProfileStore {
public:
    virtual ~ProfileStore() = default;
    virtual Profile load() = 0;
    // Writes every value; recent files are numbered from 0 and entries past
    // the list's end are removed.
    virtual void save(const Profile& profile) = 0;
    // The two values saved the moment they change.
    virtual void saveFileDirectory(const std::string& directory) = 0;
    virtual void savePodSerial(const std::string& serial) = 0;
};

}  // namespace cvl::session
