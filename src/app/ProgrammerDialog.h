#pragma once
// The Qt face of the main window: its controls, built from the dialog
// template, the answers to the window core's questions, and the routing of
// the user's events into the core (ProgrammerSession), which decides what
// each of them does.

#include <QDialog>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "app/QtWindowThread.h"
#include "app/SettingsStore.h"
#include "common/Clock.h"
#include "image/CoffImage.h"
#include "pod/PodLink.h"
#include "session/ProgrammerSession.h"
#include "session/SessionFace.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace cvl::ui {

class BitmapButton;
class MessageLine;
class PercentProgressBar;

class ProgrammerDialog : public QDialog, public session::SessionFace {
    Q_OBJECT
public:
    // Chooses a COFF file starting in dir; empty when cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& dir)>;

    // podName: a pod named on the command line (serial number or port), used
    // instead of the profile's choice.
    ProgrammerDialog(PodLink::BackendLoader loader, Clock& clock, QWidget* parent = nullptr,
                     const std::string& podName = {});
    ~ProgrammerDialog() override;

    // SessionFace: the message line, the progress bar, and while a command
    // runs the command buttons disabled and the wait cursor.
    void showMessage(std::string_view text, bool isError) override;
    void commandStarted() override;
    void commandEnded() override;
    void beginProgress(std::uint32_t total) override;
    void stepProgress() override;
    void resetProgress() override;
    session::ControlValues controls() const override;
    void showProfile(const session::Profile& profile) override;
    void showRecentFiles(const std::vector<std::string>& files, const std::string& shown) override;
    void showPodFileName(const std::string& name) override;
    void setTitle(const std::string& title) override;
    void beep() override;
    void closeWindow() override;
    bool askYesNo(const std::string& question) override;
    std::optional<PodInfo> askWhichPod(const std::vector<PodInfo>& pods, const std::string& currentSerial) override;
    std::optional<std::uint32_t> askBinaryBase(const std::string& fileName, McuType device) override;
    std::string chooseFile(const std::string& folder) override;

    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    // Asks a yes/no question; true for yes.
    using Question = std::function<bool(QWidget* parent, const QString& text)>;
    void setQuestion(Question ask) { ask_ = std::move(ask); }
    const CoffImage& image() const { return session_->image(); }
    QStringList recentFiles() const;
    QString podFileName() const { return QString::fromStdString(session_->podFileName()); }
    QString fileDirectory() const { return QString::fromStdString(session_->fileDirectory()); }
    int waitCursorCount() const { return waitCursor_; }
    // The serial number of the pod the next command uses (remembered in the profile).
    QString podSerial() const { return QString::fromStdString(session_->podSerial()); }

    // Ends the dialog, except while a command runs.
    void done(int result) override;

public slots:
    void onLoad() { session_->load(); }
    void onTargetWrite();
    void onTargetReset();
    void onPodWrite();
    void onPodVerify();
    void onPodInfo();
    void onExit() { accept(); }
    void onBrowse() { session_->browse(); }
    void onRecentFileSelected(int index);
    void onCsmToggled();
    void showAbout();
    // "Choose POD...": lists the pods now and lets the user pick one.
    void onChoosePod() { session_->choosePod(); }

signals:
    // After every message line change, for tests and automation.
    void messageShown(const QString& text, bool isError);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void initialiseWindow();
    // Runs a command, then gives button the focus back: disabling the
    // focused button moved the focus on, and the next arrow key must not
    // change the device.
    void runAndRefocus(QWidget* button, const std::function<void()>& command);
    void setButtonsEnabled(bool enabled);
    session::Focus focusKind() const;

    int waitCursor_ = 0;
    bool closing_ = false;  // the core closes the window: no second question
    FileChooser chooseFile_;
    Question ask_;
    QtWindowThread thread_;
    SettingsStore store_;
    std::unique_ptr<session::ProgrammerSession> session_;

    BitmapButton* targetWrite_ = nullptr;
    BitmapButton* targetReset_ = nullptr;
    BitmapButton* load_ = nullptr;
    BitmapButton* podWrite_ = nullptr;
    BitmapButton* podVerify_ = nullptr;
    BitmapButton* podInfo_ = nullptr;
    BitmapButton* exit_ = nullptr;
    QComboBox* mcu_ = nullptr;
    QLineEdit* podFileNameBox_ = nullptr;
    QComboBox* filePath_ = nullptr;
    QPushButton* browse_ = nullptr;
    QRadioButton* intelligentErase_ = nullptr;
    QRadioButton* eraseAll_ = nullptr;
    QCheckBox* csm_ = nullptr;
    std::array<QLineEdit*, 8> keyBoxes_{};
    std::array<QLabel*, 8> keyLabels_{};
    MessageLine* message_ = nullptr;
    PercentProgressBar* progress_ = nullptr;
};

}  // namespace cvl::ui
