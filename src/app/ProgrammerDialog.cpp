#include "app/ProgrammerDialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QAbstractItemView>
#include <QSignalBlocker>
#include <QStyle>
#include <QApplication>
#include <algorithm>
#include <climits>

#include "app/AboutDialog.h"
#include "app/BaseAddressDialog.h"
#include "app/PodChooserDialog.h"
#include "command/CsmKeyText.h"
#include "controls/BitmapButton.h"
#include "controls/MessageLine.h"
#include "controls/PercentProgressBar.h"
#include "controls/Utf8LengthValidator.h"

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

bool askYesNoBox(QWidget* parent, const QString& text) {
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
}  // namespace

ProgrammerDialog::ProgrammerDialog(PodLink::BackendLoader loader, Clock& clock, QWidget* parent,
                                   const std::string& podName)
    : QDialog(parent), chooseFile_(chooseCoffFile), ask_(askYesNoBox), thread_(*this) {
    initialiseResources();
    setFont(dialogFont());
    // A caption bar and a frame, no close, minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    buildControls();
    initialiseWindow();
    session_ = std::make_unique<session::ProgrammerSession>(*this, thread_, store_, std::move(loader), clock);
    thread_.setEscapeWhileWaiting([this] { session_->closeRequested(); });
    session_->start(podName);
}

ProgrammerDialog::~ProgrammerDialog() {
    session_->end();
    session_.reset();
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

    // The closed box shows the selected device whole; its list shows every entry whole.
    int widest = 0;
    for (int i = 0; i < mcu_->count(); ++i)
        widest = std::max(widest, mcu_->fontMetrics().horizontalAdvance(mcu_->itemText(i)));
    const int arrowAndFrame = mcu_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
    mcu_->setFixedWidth(std::max(mcu_->width(), widest + arrowAndFrame));
    mcu_->view()->setMinimumWidth(widest + 2 * mcu_->view()->frameWidth() + 16);

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

    // Tab stops at the checked erase mode only (arrow keys move between the two),
    // so Erase All can be reached by Tab when it is the one restored.
    const auto tabToChecked = [this] {
        intelligentErase_->setFocusPolicy(intelligentErase_->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
        eraseAll_->setFocusPolicy(eraseAll_->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    connect(eraseAll_, &QRadioButton::toggled, this, tabToChecked);
    for (int n = 0; n < 8; ++n) {
        keyLabels_[n]->setText(QString::asprintf("KEY%d (0x%06X)", n, kCsmPasswordAddress + n));
        keyBoxes_[n]->setMaxLength(4);
        // Hexadecimal digits only: a mistyped password must not become another one.
        keyBoxes_[n]->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,4}")), keyBoxes_[n]));
    }
    podFileNameBox_->setMaxLength(8);
    podFileNameBox_->setValidator(new Utf8LengthValidator(8, podFileNameBox_));
}

// --- what the core asks of the window ----------------------------------------

session::ControlValues ProgrammerDialog::controls() const {
    session::ControlValues c;
    c.mcuIndex = static_cast<std::uint8_t>(mcu_->currentIndex() & 0xFF);
    c.filePath = filePath_->currentText().toStdString();
    c.eraseAll = eraseAll_->isChecked();
    c.csmUse = csm_->isChecked();
    for (std::size_t n = 0; n < c.keyTexts.size(); ++n) c.keyTexts[n] = keyBoxes_[n]->text().toStdString();
    c.podFileName = podFileNameBox_->text().toStdString();
    return c;
}

void ProgrammerDialog::showProfile(const session::Profile& profile) {
    mcu_->setCurrentIndex(profile.mcuType);
    filePath_->clear();
    for (const std::string& path : profile.recentFiles) filePath_->addItem(QString::fromStdString(path));
    if (!profile.recentFiles.empty()) filePath_->setCurrentIndex(0);
    (profile.eraseAll ? eraseAll_ : intelligentErase_)->setChecked(true);
    intelligentErase_->setFocusPolicy(intelligentErase_->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    eraseAll_->setFocusPolicy(eraseAll_->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    csm_->setChecked(profile.csmUse);
    for (int n = 0; n < 8; ++n) {
        keyBoxes_[n]->setText(QString::asprintf("%04X", profile.keys.words[n]));
        keyBoxes_[n]->setEnabled(profile.csmUse);
    }
    podFileNameBox_->setText(QString::fromStdString(profile.podFileName));
}

void ProgrammerDialog::showRecentFiles(const std::vector<std::string>& files, const std::string& shown) {
    const QSignalBlocker quiet(filePath_);  // a list that changes is no choice of the user's
    filePath_->clear();
    for (const std::string& path : files) filePath_->addItem(QString::fromStdString(path));
    const auto at = std::find(files.begin(), files.end(), shown);
    if (at != files.end()) {
        filePath_->setCurrentIndex(static_cast<int>(at - files.begin()));
    } else {
        filePath_->setCurrentIndex(-1);
        filePath_->setEditText(QString::fromStdString(shown));
    }
}

void ProgrammerDialog::showPodFileName(const std::string& name) {
    podFileNameBox_->setText(QString::fromStdString(name));
}

void ProgrammerDialog::setTitle(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }

void ProgrammerDialog::beep() { QApplication::beep(); }

void ProgrammerDialog::closeWindow() {
    closing_ = true;
    QDialog::done(QDialog::Accepted);
}

bool ProgrammerDialog::askYesNo(const std::string& question) { return ask_(this, QString::fromStdString(question)); }

std::optional<PodInfo> ProgrammerDialog::askWhichPod(const std::vector<PodInfo>& pods,
                                                     const std::string& currentSerial) {
    return ui::askWhichPod(this, pods, QString::fromStdString(currentSerial));
}

std::optional<std::uint32_t> ProgrammerDialog::askBinaryBase(const std::string& fileName, McuType device) {
    return ui::askBinaryBase(this, QString::fromStdString(fileName), device);
}

std::string ProgrammerDialog::chooseFile(const std::string& folder) {
    return chooseFile_(this, QString::fromStdString(folder)).toStdString();
}

QStringList ProgrammerDialog::recentFiles() const {
    QStringList out;
    for (const std::string& path : session_->recentFiles()) out.append(QString::fromStdString(path));
    return out;
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

// --- events -----------------------------------------------------------------

void ProgrammerDialog::runAndRefocus(QWidget* button, const std::function<void()>& command) {
    command();
    if (!closing_ && button != nullptr) button->setFocus(Qt::OtherFocusReason);
}

void ProgrammerDialog::onTargetWrite() {
    runAndRefocus(targetWrite_, [this] { session_->targetWrite(); });
}
void ProgrammerDialog::onTargetReset() {
    runAndRefocus(targetReset_, [this] { session_->targetReset(); });
}
void ProgrammerDialog::onPodWrite() {
    runAndRefocus(podWrite_, [this] { session_->podWrite(); });
}
void ProgrammerDialog::onPodVerify() {
    runAndRefocus(podVerify_, [this] { session_->podVerify(); });
}
void ProgrammerDialog::onPodInfo() {
    runAndRefocus(podInfo_, [this] { session_->podInfo(); });
}

void ProgrammerDialog::onRecentFileSelected(int index) {
    if (index >= 0) session_->recentFileChosen(static_cast<std::size_t>(index));
}

void ProgrammerDialog::onCsmToggled() {
    for (QLineEdit* box : keyBoxes_) box->setEnabled(csm_->isChecked());
}

void ProgrammerDialog::showAbout() {
    AboutDialog about(this);
    about.exec();
}

void ProgrammerDialog::done(int result) {
    if (closing_ || session_->closeRequested()) QDialog::done(result);
}

void ProgrammerDialog::closeEvent(QCloseEvent* event) {
    if (closing_ || session_->closeRequested()) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
}

session::Focus ProgrammerDialog::focusKind() const {
    QWidget* focus = focusWidget();
    if (qobject_cast<QPushButton*>(focus) != nullptr) return session::Focus::PushButton;
    if (focus == filePath_ || focus == filePath_->lineEdit()) return session::Focus::FilePath;
    if (focus == podFileNameBox_) return session::Focus::PodFileName;
    if (std::find(keyBoxes_.begin(), keyBoxes_.end(), focus) != keyBoxes_.end()) return session::Focus::CsmKey;
    return session::Focus::Other;
}

void ProgrammerDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    switch (session_->enterPressed(focusKind())) {
        case session::EnterAction::PressButton:
            qobject_cast<QPushButton*>(focusWidget())->click();
            break;
        case session::EnterAction::Load:
            onLoad();
            break;
        case session::EnterAction::TakeText:
            break;
        case session::EnterAction::Close:
            accept();
            break;
    }
}

}  // namespace cvl::ui
