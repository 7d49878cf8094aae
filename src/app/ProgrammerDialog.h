#pragma once
// The main window and the program's controller: its controls, the pod link,
// the loaded image, the settings and recent files. Every command button
// builds a request from the controls at the click, lists the pods at that
// moment and narrows the link to the one chosen (asking when several are
// listed), then runs one core command on a worker thread (CommandRunner)
// while the window keeps painting and drops the user's input.

#include <QDialog>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

#include "command/CommandContext.h"
#include "command/PodEngine.h"
#include "command/Requests.h"
#include "common/Clock.h"
#include "common/StatusSink.h"
#include "image/CoffImage.h"
#include "pod/PodLink.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace cvl::ui {

class BitmapButton;
class CommandRunner;
class MessageLine;
class PercentProgressBar;

class ProgrammerDialog : public QDialog, public StatusSink {
    Q_OBJECT
public:
    // Chooses a COFF file starting in dir; empty when cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& dir)>;

    ProgrammerDialog(PodLink::BackendLoader loader, Clock& clock, QWidget* parent = nullptr);
    ~ProgrammerDialog() override;

    // StatusSink: the message line, the progress bar, and while a command
    // runs the command buttons disabled and the wait cursor.
    void showMessage(std::string_view text, bool isError) override;
    void commandStarted() override;
    void commandEnded() override;
    void beginProgress(std::uint32_t total) override;
    void stepProgress() override;
    void resetProgress() override;

    // Puts a successfully loaded path at the top of the recent files.
    void addRecentFile(const std::string& path);

    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    // Asks a yes/no question; true for yes.
    using Question = std::function<bool(QWidget* parent, const QString& text)>;
    void setQuestion(Question ask) { ask_ = std::move(ask); }
    const CoffImage& image() const { return image_; }
    const QStringList& recentFiles() const { return recentFiles_; }
    const QString& podFileName() const { return podFileName_; }
    const QString& fileDirectory() const { return fileDirectory_; }
    int waitCursorCount() const { return waitCursor_; }
    // The serial number of the pod the next command uses (remembered in the profile).
    const QString& podSerial() const { return podSerial_; }

    // Ends the dialog, except while a command runs.
    void done(int result) override;

public slots:
    void onLoad();
    void onTargetWrite();
    void onTargetReset();
    void onPodWrite();
    void onPodVerify();
    void onPodInfo();
    void onExit();
    void onBrowse();
    void onRecentFileSelected(int index);
    void onCsmToggled();
    void showAbout();
    // "Choose POD...": lists the pods now and lets the user pick one.
    void onChoosePod();

signals:
    // After every message line change, for tests and automation.
    void messageShown(const QString& text, bool isError);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void initialiseWindow();
    void saveSettingsFromControls();
    CommandContext context();
    bool confirmLock(const std::string& question);
    // Runs command off the window's thread (see CommandRunner), then gives
    // button the focus back.
    // Runs job on the pod chosen now, through the engine every front end uses.
    void runCommand(QWidget* button, const PodJob& job);
    // A load the user asked for: the file, then any warning about it on the line.
    void loadShown(const std::string& path, bool remember);
    void setButtonsEnabled(bool enabled);
    // Lists the pods now and narrows the link to the one the command uses:
    // false, with nothing sent, when several are listed and the user chose none.
    bool choosePodForCommand();
    // The start-up check: names the pod the first command will use.
    void probePods();
    void usePod(const PodInfo& pod);
    void updateTitle();
    // A raw binary's base address: the one given for path on device, or asked
    // now; other files need none (base stays empty). False when the user cancelled.
    bool binaryBaseFor(const std::string& path, McuType device, std::optional<std::uint32_t>& base);
    // What the controls hold now, as the parts of a request; nothing when the
    // user cancelled a question about it.
    McuType selectedMcu() const;
    std::optional<ProgramSource> programSource();
    EraseMode eraseMode() const;
    std::optional<CsmKeys> csmKeys() const;

    Clock& clock_;
    PodLink link_;
    CoffImage image_;
    QString fileDirectory_;
    QString podFileName_;
    QStringList recentFiles_;
    bool initialised_ = false;
    int waitCursor_ = 0;
    FileChooser chooseFile_;
    Question ask_;
    CommandRunner* runner_;
    // The load (CoffImage::loadSerial) whose CSM password the user agreed to write.
    std::uint32_t lockAgreedForLoad_ = 0;
    QString podSerial_;                    // the chosen pod; empty: none chosen yet
    std::optional<PodInfo> listedChoice_;  // the pod the last listing chose
    BoardRecord lastRun_;                  // what the last command did
    bool closeRefused_ = false;            // the user tried to close during this command
    struct BinaryBase {
        std::string path;
        McuType device;
        std::uint32_t base;
    };
    std::optional<BinaryBase> binaryBase_;

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
