#include "app/ProgrammerDialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QAbstractItemView>
#include <QApplication>
#include <algorithm>
#include <climits>

#include "app/AboutDialog.h"
#include "app/BaseAddressDialog.h"
#include "app/PodChooserDialog.h"
#include "app/CommandRunner.h"
#include "app/SettingsStore.h"
#include "command/CsmKeyText.h"
#include "common/Text.h"
#include "command/StoreCommands.h"
#include "command/TargetCommands.h"
#include "controls/BitmapButton.h"
#include "controls/MessageLine.h"
#include "controls/PercentProgressBar.h"
#include "controls/Utf8LengthValidator.h"
#include "command/LoadCommand.h"
#include "command/PodEngine.h"
#include "pod/PodChoice.h"
#include "pod/SystemBackends.h"

// The pictures are compiled into this static library; make sure the linker
// keeps them.
static void initialiseResources() { Q_INIT_RESOURCE(resources); }

namespace cvl::ui {

namespace {
const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kWhite(255, 255, 255);

QFont dialogFont() {
    QFont f;
    // Gulim where installed; otherwise a Korean-capable sans font, so the
    // Korean captions never show as boxes.
    f.setFamilies({QStringLiteral("굴림"), QStringLiteral("Gulim"), QStringLiteral("NanumGothic"),
                   QStringLiteral("Noto Sans CJK KR"), QStringLiteral("UnDotum")});
    f.setPointSize(9);
    return f;
}

bool askYesNo(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, QStringLiteral("Corvexlink"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QString chooseCoffFile(QWidget* parent, const QString& dir) {
    return QFileDialog::getOpenFileName(parent, QString(), dir,
                                        QStringLiteral("Program files (*.out *.elf *.hex *.i* *.bin);;"
                                                       "COFF Files (.out) (*.out);;Intel HEX Files (*.hex *.i*);;"
                                                       "Raw binary files (*.bin);;All Files (*)"),
                                        nullptr, QFileDialog::ReadOnly);
}

QString baseTitle() {
    return QStringLiteral("TMS320F283x DSP Programmer Ver%1.%2 - Quillon")
        .arg(CORVEXLINK_VERSION_MAJOR)
        .arg(CORVEXLINK_VERSION_MINOR);
}

// A message line followed by the warnings, if any, in brackets.
std::string withWarnings(std::string line, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) line += " (" + w + ")";
    return line;
}

// A file that no reader recognises by its content and that only a base address makes a program.
bool namedAsRawBinary(const std::string& path) {
    const QString suffix = QFileInfo(QString::fromStdString(path)).suffix();
    return suffix.compare(QStringLiteral("bin"), Qt::CaseInsensitive) == 0;
}
}  // namespace

ProgrammerDialog::ProgrammerDialog(PodLink::BackendLoader loader, Clock& clock, QWidget* parent)
    : QDialog(parent),
      clock_(clock),
      link_(std::move(loader), clock),
      chooseFile_(chooseCoffFile),
      ask_(askYesNo),
      runner_(new CommandRunner(*this, *this)) {
    initialiseResources();
    setFont(dialogFont());
    // A caption bar and a frame, no close, minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    buildControls();
    initialiseWindow();
}

ProgrammerDialog::~ProgrammerDialog() {
    link_.closePod();
    link_.unloadDriver();
    image_.resetImage();
    saveSettingsFromControls();
    recentFiles_.clear();
    while (waitCursor_ > 0) {
        --waitCursor_;
        QGuiApplication::restoreOverrideCursor();
    }
}

void ProgrammerDialog::initialiseWindow() {
    // The system menu's About entry: offered in the window's context menu.
    auto* about = new QAction(QStringLiteral("Corvexlink 정보(&A)..."), this);
    connect(about, &QAction::triggered, this, &ProgrammerDialog::showAbout);
    addAction(about);
    auto* choose = new QAction(QStringLiteral("Choose POD..."), this);
    connect(choose, &QAction::triggered, this, &ProgrammerDialog::onChoosePod);
    addAction(choose);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setWindowIcon(QIcon(QStringLiteral(":/icon128.xpm")));
    setWindowTitle(baseTitle());
    runner_->setCloseRefused([this] {
        closeRefused_ = true;
        QApplication::beep();
        updateTitle();
    });

    const auto profile = openProfile();
    const StoredSettings stored = loadSettings(*profile);
    // A stored index past the last device means the last one.
    image_.mcuType = stored.mcuType < kMcuCount ? mcuAtIndex(stored.mcuType) : kMcuTypes.back();
    fileDirectory_ = stored.fileDirectory;
    podFileName_ = stored.podFileName;
    podSerial_ = stored.podSerial;
    recentFiles_ = stored.recentFiles;

    image_.resetImage();
    mcu_->setCurrentIndex(mcuIndex(image_.mcuType));
    // The closed box keeps the template's width; its list shows every entry whole.
    int widest = 0;
    for (int i = 0; i < mcu_->count(); ++i)
        widest = std::max(widest, mcu_->view()->fontMetrics().horizontalAdvance(mcu_->itemText(i)));
    mcu_->view()->setMinimumWidth(widest + 2 * mcu_->view()->frameWidth() + 16);

    filePath_->addItems(recentFiles_);
    const QString first = recentFiles_.value(0);
    if (!recentFiles_.isEmpty()) filePath_->setCurrentIndex(0);

    message_->setTextColour(kBlack, true);
    message_->setBackColour(kGreen, true);
    message_->fitToText();
    progress_->setRange(0, 100);
    progress_->setPos(0);

    const std::pair<BitmapButton*, int> pictures[] = {{load_, 130},      {targetReset_, 131}, {podWrite_, 132},
                                                      {podVerify_, 133}, {targetWrite_, 134}, {podInfo_, 135},
                                                      {exit_, 136}};
    for (const auto& [button, resource] : pictures)
        button->loadBitmap(QStringLiteral(":/bitmap%1.xpm").arg(resource), kWhite);

    probePods();

    (stored.eraseAll ? eraseAll_ : intelligentErase_)->setChecked(true);
    // Tab stops at the checked erase mode only (arrow keys move between the two),
    // so Erase All can be reached by Tab when it is the one restored.
    const auto tabToChecked = [this] {
        intelligentErase_->setFocusPolicy(intelligentErase_->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
        eraseAll_->setFocusPolicy(eraseAll_->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    tabToChecked();
    connect(eraseAll_, &QRadioButton::toggled, this, tabToChecked);
    csm_->setChecked(stored.csmUse);
    for (int n = 0; n < 8; ++n) {
        keyLabels_[n]->setText(QString::asprintf("KEY%d (0x%06X)", n, kCsmPasswordAddress + n));
        keyBoxes_[n]->setText(QString::asprintf("%04X", stored.keys.words[n]));
        keyBoxes_[n]->setMaxLength(4);
        // Hexadecimal digits only: a mistyped password must not become another one.
        keyBoxes_[n]->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,4}")), keyBoxes_[n]));
        keyBoxes_[n]->setEnabled(stored.csmUse);
    }
    podFileNameBox_->setText(podFileName_);
    podFileNameBox_->setMaxLength(8);
    podFileNameBox_->setValidator(new Utf8LengthValidator(8, podFileNameBox_));

    if (!first.isEmpty()) loadShown(first.toStdString(), false);
    initialised_ = true;
}

void ProgrammerDialog::saveSettingsFromControls() {
    StoredSettings out;
    image_.mcuType = selectedMcu();
    out.mcuType = static_cast<std::uint8_t>(mcuIndex(image_.mcuType));
    out.eraseAll = eraseAll_->isChecked();
    out.csmUse = csm_->isChecked();
    if (out.csmUse) {
        for (int n = 0; n < 8; ++n) out.keys.words[n] = keyFromBoxText(keyBoxes_[n]->text());
        if (keysAllZero(out.keys)) out.keys = {};
    }
    out.fileDirectory = fileDirectory_;
    out.podFileName = podFileName_;
    out.podSerial = podSerial_;
    out.recentFiles = recentFiles_;
    const auto profile = openProfile();
    saveSettings(*profile, out);
}

bool ProgrammerDialog::confirmLock(const std::string& question) {
    // Once per loaded file: a program the user agreed to lock with is not asked about again.
    if (lockAgreedForLoad_ == image_.loadSerial) return true;
    if (!ask_(this, QString::fromStdString(question))) return false;
    lockAgreedForLoad_ = image_.loadSerial;
    return true;
}

CommandContext ProgrammerDialog::context() {
    return CommandContext{image_,
                          link_,
                          *this,
                          clock_,
                          [this](const std::string& path) { addRecentFile(path); },
                          [this](const std::string& question) { return confirmLock(question); }};
}

void ProgrammerDialog::runCommand(QWidget* button, const PodJob& job) {
    if (runner_->running()) return;
    if (!choosePodForCommand()) return;
    runner_->run([&, pod = listedChoice_](StatusSink& sink) {
        // On the worker: what touches the window goes to the window's thread.
        CommandContext ctx{
            image_,
            link_,
            sink,
            clock_,
            [this](const std::string& path) { runner_->post([this, path] { addRecentFile(path); }); },
            [this](const std::string& question) { return runner_->ask([&] { return confirmLock(question); }); }};
        lastRun_ = runOnPod(job, ctx, pod);
    });
    closeRefused_ = false;
    updateTitle();
    // Disabling the focused button moved the focus on; it comes back, so the
    // next arrow key does not change the device.
    if (button != nullptr) button->setFocus(Qt::OtherFocusReason);
}

// --- the pod ------------------------------------------------------------------

void ProgrammerDialog::usePod(const PodInfo& pod) {
    link_.usePodOnly(pod);
    listedChoice_ = pod;
    const QString serial = QString::fromStdString(pod.serialNumber);
    if (serial != podSerial_) {
        podSerial_ = serial;
        savePodSerial(*openProfile(), podSerial_);
    }
}

bool ProgrammerDialog::choosePodForCommand() {
    // Listed now, every time: a pod that went away is never reached through
    // the path it had, and one that came is found without a restart.
    link_.loadDriver();
    const std::vector<PodInfo> listed = link_.listPods();
    PodChoice choice = choosePod(listed, podSerial_.toStdString());
    if (choice.kind == PodChoice::Kind::Ask) {
        const auto picked = askWhichPod(this, listed, podSerial_);
        if (!picked) {
            showMessage("No Corvexlink POD chosen: nothing was sent", true);
            return false;
        }
        choice = {PodChoice::Kind::Chosen, *picked};
    }
    if (choice.kind == PodChoice::Kind::Chosen) {
        usePod(choice.pod);
    } else {
        link_.useNoPod();
        listedChoice_.reset();
    }
    updateTitle();
    return true;
}

void ProgrammerDialog::probePods() {
    if (!link_.loadDriver()) {
        showMessage(outcomeMessage(OutcomeCode::DriverMissing), true);
        return;
    }
    const std::vector<PodInfo> listed = link_.listPods();
    const PodChoice choice = choosePod(listed, podSerial_.toStdString());
    // What the pod listing warns of (virtual pods ignored, a slow latency
    // timer) follows the line, as the command-line tool prints it.
    std::vector<std::string> warnings = backendWarnings();
    if (choice.kind == PodChoice::Kind::NoPod) {
        showMessage(withWarnings(std::string(outcomeMessage(OutcomeCode::PodNotFound)), warnings), true);
    } else if (choice.kind == PodChoice::Kind::Ask) {
        showMessage(withWarnings(QStringLiteral("%1 Corvexlink PODs are attached: the first command asks which one to use")
                                     .arg(listed.size())
                                     .toStdString(),
                                 warnings),
                    false);
    } else {
        listedChoice_ = choice.pod;
        if (const std::string advice = podAdvice(choice.pod); !advice.empty()) warnings.push_back(advice);
        showMessage(withWarnings(connectionMessage(choice.pod), warnings), false);
    }
    updateTitle();
}

void ProgrammerDialog::onChoosePod() {
    if (runner_->running()) return;
    link_.loadDriver();
    const std::vector<PodInfo> listed = link_.listPods();
    if (listed.empty()) {
        showMessage(outcomeMessage(OutcomeCode::PodNotFound), true);
        return;
    }
    if (const auto picked = askWhichPod(this, listed, podSerial_)) {
        usePod(*picked);
        updateTitle();
    }
}

void ProgrammerDialog::updateTitle() {
    QString title = baseTitle();
    if (listedChoice_) {
        const std::string& name =
            listedChoice_->serialNumber.empty() ? listedChoice_->devicePath : listedChoice_->serialNumber;
        title += QStringLiteral(" - POD ") + QString::fromStdString(escapeControls(name));
    }
    if (closeRefused_) title += QStringLiteral(" - busy: the window closes once the command has ended");
    setWindowTitle(title);
}

// --- programs -----------------------------------------------------------------

bool ProgrammerDialog::binaryBaseFor(const std::string& path, McuType device, std::optional<std::uint32_t>& base) {
    base.reset();
    if (!namedAsRawBinary(path)) return true;
    if (binaryBase_ && binaryBase_->path == path && binaryBase_->device == device) {
        base = binaryBase_->base;
        return true;
    }
    const auto asked = askBinaryBase(this, QFileInfo(QString::fromStdString(path)).fileName(), device);
    if (!asked) return false;
    binaryBase_ = BinaryBase{path, device, *asked};
    base = *asked;
    return true;
}

void ProgrammerDialog::loadShown(const std::string& path, bool remember) {
    const McuType device = selectedMcu();
    std::optional<std::uint32_t> base;
    if (!binaryBaseFor(path, device, base)) return;  // the user did not say where the binary goes
    CommandContext ctx = context();
    if (loadCoffFile(image_, *this, path, device, remember ? ctx.remember : RememberFile{}, ReadOptions{base}) ==
            OutcomeCode::Ok &&
        !image_.warnings.empty()) {
        showMessage(image_.warnings.front(), false);
    }
}

McuType ProgrammerDialog::selectedMcu() const {
    return mcuAtIndex(static_cast<std::uint8_t>(mcu_->currentIndex() & 0xFF));
}

std::optional<ProgramSource> ProgrammerDialog::programSource() {
    ProgramSource source{filePath_->currentText().toStdString(), selectedMcu(), std::nullopt};
    // The loaded program serves as it is; a binary to be loaded needs its base first.
    if (imageServes(image_, source.path, source.device)) return source;
    const std::string path = trimmed(source.path);
    if (path.empty()) return source;
    if (!binaryBaseFor(path, source.device, source.binaryBase)) return std::nullopt;
    return source;
}

EraseMode ProgrammerDialog::eraseMode() const {
    return eraseAll_->isChecked() ? EraseMode::All : EraseMode::Intelligent;
}

std::optional<CsmKeys> ProgrammerDialog::csmKeys() const {
    if (!csm_->isChecked()) return std::nullopt;
    std::array<std::string, 8> texts;
    for (std::size_t n = 0; n < texts.size(); ++n) texts[n] = keyBoxes_[n]->text().toStdString();
    return keysFromTexts(texts);
}

// --- status -----------------------------------------------------------------

void ProgrammerDialog::showMessage(std::string_view text, bool isError) {
    const QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    message_->setTextColour(isError ? kRed : kBlack, true);
    message_->setText(line);
    message_->setAccessibleDescription(line);  // what a screen reader reads out
    message_->repaint();                       // the command blocks the event loop: paint now
    emit messageShown(line, isError);
}

void ProgrammerDialog::setButtonsEnabled(bool enabled) {
    for (BitmapButton* b : {targetWrite_, targetReset_, load_, podWrite_, podVerify_, podInfo_, exit_}) {
        b->setEnabled(enabled);
        b->repaint();
    }
}

void ProgrammerDialog::commandStarted() {
    setButtonsEnabled(false);
    ++waitCursor_;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void ProgrammerDialog::commandEnded() {
    if (waitCursor_ > 0) {
        --waitCursor_;
        QGuiApplication::restoreOverrideCursor();
    }
    setButtonsEnabled(true);
}

void ProgrammerDialog::beginProgress(std::uint32_t total) {
    progress_->setRange(0, static_cast<int>(std::min<std::uint32_t>(total, INT_MAX)));
    progress_->setStep(1);
    progress_->setPos(0);
}

void ProgrammerDialog::stepProgress() { progress_->stepIt(); }
void ProgrammerDialog::resetProgress() { progress_->setPos(0); }

// --- inputs -----------------------------------------------------------------

void ProgrammerDialog::addRecentFile(const std::string& utf8Path) {
    const QString path = QString::fromStdString(utf8Path);
    if (recentFiles_.isEmpty()) {
        // The first entry goes to the end of the list without changing what
        // the box shows (a combo box selects the first item it gets).
        const QString shown = filePath_->currentText();
        recentFiles_.append(path);
        filePath_->addItem(path);
        filePath_->setEditText(shown);
        return;
    }
    const qsizetype at = recentFiles_.indexOf(path);  // exact, case-sensitive
    if (at == 0) {
        filePath_->setCurrentIndex(0);
        return;
    }
    if (at > 0) {
        recentFiles_.removeAt(at);
        filePath_->removeItem(static_cast<int>(at));
    } else if (recentFiles_.size() >= kMaxRecentFiles) {
        recentFiles_.removeAt(kMaxRecentFiles - 1);
        filePath_->removeItem(kMaxRecentFiles - 1);
    }
    recentFiles_.prepend(path);
    filePath_->insertItem(0, path);
    filePath_->setCurrentIndex(0);
}

// --- handlers ---------------------------------------------------------------

void ProgrammerDialog::onLoad() {
    const QString path = filePath_->currentText().trimmed();
    if (path.isEmpty()) {
        showMessage(outcomeMessage(OutcomeCode::NoFileToRead), true);
        return;
    }
    loadShown(path.toStdString(), true);
}

// Each command's request is built here, from the controls as they are at the click.
void ProgrammerDialog::onTargetWrite() {
    const auto source = programSource();
    if (!source) return;
    const TargetWriteRequest request{*source, eraseMode(), csmKeys()};
    runCommand(targetWrite_, {"write", true, request.eraseMode == EraseMode::All,
                              [&](CommandContext& ctx) { return targetWrite(ctx, request); }});
}

void ProgrammerDialog::onTargetReset() {
    runCommand(targetReset_, {"reset", false, false, [](CommandContext& ctx) { return targetReset(ctx, ResetRequest{}); }});
}

void ProgrammerDialog::onPodWrite() {
    const auto source = programSource();
    if (!source) return;
    const PodWriteRequest request{*source, eraseMode(), csmKeys(), podFileNameBox_->text().toStdString()};
    runCommand(podWrite_, {"pod-write", true, request.eraseMode == EraseMode::All,
                           [&](CommandContext& ctx) { return podWrite(ctx, request); }});
    if (!lastRun_.outcome.podFileName.empty()) {
        podFileName_ = QString::fromStdString(lastRun_.outcome.podFileName);
        podFileNameBox_->setText(podFileName_);
    }
}

void ProgrammerDialog::onPodVerify() {
    const auto source = programSource();
    if (!source) return;
    const PodVerifyRequest request{*source};
    runCommand(podVerify_, {"pod-verify", true, false, [&](CommandContext& ctx) { return podVerify(ctx, request); }});
}

void ProgrammerDialog::onPodInfo() {
    runCommand(podInfo_, {"pod-info", false, false, [](CommandContext& ctx) { return podInfo(ctx, PodInfoRequest{}); }});
}

void ProgrammerDialog::onExit() { accept(); }

void ProgrammerDialog::done(int result) {
    if (runner_->running()) {  // a command runs to its end: the window stays, and says so
        closeRefused_ = true;
        QApplication::beep();
        updateTitle();
        return;
    }
    QDialog::done(result);
}

void ProgrammerDialog::closeEvent(QCloseEvent* event) {
    if (runner_->running()) {
        event->ignore();
        closeRefused_ = true;
        QApplication::beep();
        updateTitle();
        return;
    }
    QDialog::closeEvent(event);
}

void ProgrammerDialog::keyPressEvent(QKeyEvent* event) {
    // Enter ends the dialog as Exit does (Esc already does, as a rejection),
    // except where it finishes what is typed: in File Path it loads the file,
    // in POD File Name it only accepts the name, and on a focused push button
    // it presses that button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focus = focusWidget();
        if (auto* button = qobject_cast<QPushButton*>(focus)) {
            button->click();
        } else if (focus == filePath_ || focus == filePath_->lineEdit()) {
            onLoad();
        } else if (focus != podFileNameBox_) {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

void ProgrammerDialog::onBrowse() {
    const QString chosen = chooseFile_(this, fileDirectory_);
    if (chosen.isEmpty()) return;
    const QString name = QFileInfo(chosen).fileName();
    fileDirectory_ = chosen.left(chosen.size() - name.size());
    saveFileDirectory(*openProfile(), fileDirectory_);
    filePath_->setEditText(chosen);
    loadShown(chosen.toStdString(), true);
}

void ProgrammerDialog::onRecentFileSelected(int index) {
    if (!initialised_ || index < 0 || index >= recentFiles_.size()) return;
    const QString path = recentFiles_.at(index).trimmed();
    if (!path.isEmpty()) loadShown(path.toStdString(), true);
}

void ProgrammerDialog::onCsmToggled() {
    for (QLineEdit* box : keyBoxes_) box->setEnabled(csm_->isChecked());
}

void ProgrammerDialog::showAbout() {
    AboutDialog about(this);
    about.exec();
}

}  // namespace cvl::ui
