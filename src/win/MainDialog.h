#pragma once
// The native Windows face of the main window: dialog template 102, its
// owner-drawn buttons, percentage bar and coloured message line, the answers
// to the window core's questions, and the routing of the dialog's messages
// into the core (ProgrammerSession), which decides what each of them does.

#include <windows.h>

#include <memory>
#include <string>

#include "common/Clock.h"
#include "pod/PodLink.h"
#include "session/ProgrammerSession.h"
#include "session/SessionFace.h"
#include "win/BitmapButtons.h"
#include "win/PercentBar.h"
#include "win/RegistryProfileStore.h"
#include "win/Win32WindowThread.h"

namespace cvl::win {

class MainDialog : public session::SessionFace {
public:
    MainDialog(PodLink::BackendLoader loader, Clock& clock, std::wstring program, std::string podName);
    // Runs the dialog until it ends.
    void run();

    // SessionFace
    void showMessage(std::string_view text, bool isError) override;
    void commandStarted() override;
    void commandEnded() override;
    void beginProgress(std::uint32_t total) override;
    void stepProgress() override { progress_.stepIt(); }
    void resetProgress() override { progress_.setPos(0); }
    session::ControlValues controls() const override;
    void showProfile(const session::Profile& profile) override;
    void showRecentFiles(const std::vector<std::string>& files, const std::string& shown) override;
    void showPodFileName(const std::string& name) override;
    void setTitle(const std::string& title) override;
    void beep() override { MessageBeep(MB_OK); }
    void closeWindow() override;
    bool askYesNo(const std::string& question) override;
    std::optional<PodInfo> askWhichPod(const std::vector<PodInfo>& pods, const std::string& currentSerial) override;
    std::optional<std::uint32_t> askBinaryBase(const std::string& fileName, McuType device) override;
    std::string chooseFile(const std::string& folder) override;
    bool canNamePorts() const override { return true; }

private:
    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM w, LPARAM l);
    INT_PTR handle(UINT message, WPARAM w, LPARAM l);
    void initialise();
    void command(int id, int code);
    void enter();
    void contextMenu(LPARAM at);
    void setButtonsEnabled(bool enabled);
    void fitDeviceBox();
    session::Focus focusKind() const;
    std::string itemText(int id) const;

    HWND dialog_ = nullptr;
    PodLink::BackendLoader loader_;
    Clock& clock_;
    std::string podName_;
    RegistryProfileStore store_;
    Win32WindowThread thread_;
    std::unique_ptr<session::ProgrammerSession> session_;
    BitmapButtons buttons_;
    PercentBar progress_;
    HICON icon_ = nullptr;
    HBRUSH green_ = nullptr;
    bool messageIsError_ = false;
    int waitCursor_ = 0;
    bool closing_ = false;
};

}  // namespace cvl::win
