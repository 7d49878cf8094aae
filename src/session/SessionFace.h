#pragma once
// What the window core asks of the window that shows it: the controls' values
// at the moment of a click, what to draw, and the questions only the user
// can answer. The Qt window and the native Windows dialog each implement it;
// every call comes on the window's thread.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/StatusSink.h"
#include "image/McuTable.h"
#include "pod/PodPort.h"
#include "session/Profile.h"

namespace cvl::session {

// What the window's controls hold.
struct ControlValues {
    std::uint8_t mcuIndex = cvl::mcuIndex(kDefaultMcu);  // the device selector's index
    std::string filePath;                                // the file-path box's text, as typed
    bool eraseAll = false;
    bool csmUse = false;
    std::array<std::string, 8> keyTexts;
    std::string podFileName;  // the POD File Name box
};

// Where the keyboard focus is when Enter is pressed.
enum class Focus { FilePath, PodFileName, CsmKey, PushButton, Other };
// What Enter does there.
enum class EnterAction { Load, TakeText, PressButton, Close };

// The StatusSink part is the message line, the progress bar, and while a
// command runs the command buttons disabled and the wait cursor.
class SessionFace : public StatusSink {
public:
    virtual ControlValues controls() const = 0;
    // The profile's values in the controls, once at start.
    virtual void showProfile(const Profile& profile) = 0;
    // The file-path box's list, and the text it shows.
    virtual void showRecentFiles(const std::vector<std::string>& files, const std::string& shown) = 0;
    virtual void showPodFileName(const std::string& name) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void beep() = 0;
    // Closes the window (a close asked for during a command, once it ended).
    virtual void closeWindow() = 0;

    virtual bool askYesNo(const std::string& question) = 0;
    // The pod to use among pods (the one with currentSerial preselected); nothing when cancelled.
    // Where ports can be named by hand (canNamePorts), the answer may be a port
    // the user typed: a PodInfo with only its devicePath and namedOnly set.
    virtual std::optional<PodInfo> askWhichPod(const std::vector<PodInfo>& pods, const std::string& currentSerial) = 0;
    virtual bool canNamePorts() const { return false; }
    // Where a raw binary goes; nothing when cancelled.
    virtual std::optional<std::uint32_t> askBinaryBase(const std::string& fileName, McuType device) = 0;
    // A program file chosen starting in folder; empty when cancelled.
    virtual std::string chooseFile(const std::string& folder) = 0;
};

}  // namespace cvl::session
