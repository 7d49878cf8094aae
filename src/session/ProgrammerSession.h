#pragma once
// The window's state and every decision it makes, with no toolkit: which pod
// a command uses (asking when it is not clear), what to load and when, what
// to ask, what the buttons and Enter do, what happens to a close while a
// command runs, which message and which title to show, and the profile. A
// face (the Qt window, the native Windows dialog) draws the controls, routes
// the user's events here and answers the questions through SessionFace.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command/CommandContext.h"
#include "command/PodEngine.h"
#include "common/Clock.h"
#include "image/CoffImage.h"
#include "pod/PodLink.h"
#include "session/CommandWorker.h"
#include "session/Profile.h"
#include "session/SessionFace.h"
#include "session/WindowThread.h"

namespace cvl::session {

class ProgrammerSession {
public:
    // The pod backends for the ports named so far (by --pod or in the chooser).
    using BackendsNaming = std::function<PodLink::BackendLoader(std::vector<std::string> ports)>;

    ProgrammerSession(SessionFace& face, WindowThread& thread, ProfileStore& store, PodLink::BackendLoader loader,
                      Clock& clock);
    // A face whose user may name ports gives how backends are made for them.
    void setBackendsNaming(BackendsNaming naming) { naming_ = std::move(naming); }
    ~ProgrammerSession();
    ProgrammerSession(const ProgrammerSession&) = delete;
    ProgrammerSession& operator=(const ProgrammerSession&) = delete;

    // Reads the profile into the controls, names the pod the first command
    // will use and loads the most recent file. podName (a serial number or a
    // port, from the command line) chooses the pod instead of the profile's.
    void start(const std::string& podName = {});
    // Writes the profile from the controls; the window is closing.
    void end();

    // The user's events.
    void load();  // Load, or Enter in the file-path box
    void browse();
    void recentFileChosen(std::size_t index);
    void targetWrite();
    void targetReset();
    void podWrite();
    void podVerify();
    void podInfo();
    void choosePod();  // "Choose POD..."
    // Exit, Esc, Enter that closes, the close box: true when the window may
    // close now. During a command it closes once the command has ended.
    bool closeRequested();
    EnterAction enterPressed(Focus focus) const;
    // While a command runs, the user's input to the window is dropped.
    bool dropsInput() const { return worker_.running(); }

    std::string title() const;
    const CoffImage& image() const { return image_; }
    const std::vector<std::string>& recentFiles() const { return recentFiles_; }
    const std::string& podSerial() const { return podSerial_; }
    const std::string& podFileName() const { return podFileName_; }
    const std::string& fileDirectory() const { return fileDirectory_; }
    // What the last command did.
    const BoardRecord& lastRun() const { return lastRun_; }

private:
    void runCommand(const PodJob& job);
    bool choosePodForCommand();
    void probePods();
    void usePod(const PodInfo& pod);
    // A port the user typed in the chooser: listed from now on, and used once it answers.
    bool useNamedPort(const std::string& port);
    void updateTitle();
    void addRecentFile(const std::string& path);
    bool confirmLock(const std::string& question);
    void loadShown(const std::string& path, bool remember);
    bool binaryBaseFor(const std::string& path, McuType device, std::optional<std::uint32_t>& base);
    // The parts of a request, from the controls as read at the click.
    std::optional<ProgramSource> programSource(const ControlValues& c);
    McuType selectedMcu() const;
    static McuType deviceOf(const ControlValues& c);
    static EraseMode eraseMode(const ControlValues& c);
    static std::optional<CsmKeys> csmKeys(const ControlValues& c);

    SessionFace& face_;
    ProfileStore& store_;
    Clock& clock_;
    PodLink link_;
    CoffImage image_;
    CommandWorker worker_;
    std::string fileDirectory_;
    std::string podFileName_;
    std::vector<std::string> recentFiles_;
    std::string podSerial_;  // the chosen pod; empty: none chosen
    std::string podNamed_;   // a pod named on the command line, or a port typed in the chooser
    BackendsNaming naming_;
    std::optional<PodInfo> listedChoice_;  // the pod the last listing chose
    BoardRecord lastRun_;
    // The load (CoffImage::loadSerial) whose CSM password the user agreed to write.
    std::uint32_t lockAgreedForLoad_ = 0;
    bool closeAfterCommand_ = false;  // the user asked to close during this command
    bool ended_ = false;
    struct BinaryBase {
        std::string path;
        McuType device;
        std::uint32_t base;
    };
    std::optional<BinaryBase> binaryBase_;
};

}  // namespace cvl::session
