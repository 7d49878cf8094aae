// The controls of the main window, placed from its dialog template in
// template (and tab) order. Every control with an identifier carries it as
// its object name, so tests and users' automation can find it.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "controls/BitmapButton.h"
#include "app/DialogUnits.h"
#include "image/McuTable.h"
#include "controls/MessageLine.h"
#include "controls/PercentProgressBar.h"
#include "controls/SteadyComboBox.h"
#include "app/ProgrammerDialog.h"

namespace cvl::ui {

namespace {

template <typename W>
W* place(W* widget, const char* id, const DialogUnits& du, int x, int y, int w, int h) {
    widget->setObjectName(QString::fromLatin1(id));
    widget->setGeometry(du.rect(x, y, w, h));
    return widget;
}

// Combo boxes: the template height includes the drop-down list; the box
// itself takes its natural height.
QComboBox* placeCombo(QComboBox* box, const char* id, const DialogUnits& du, int x, int y, int w) {
    box->setObjectName(QString::fromLatin1(id));
    box->setGeometry(du.x(x), du.y(y), du.x(w), std::max(box->sizeHint().height(), du.y(14)));
    return box;
}

// Typed letters become capitals, as in an upper-case edit control.
void upperCaseOnly(QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const QString upper = text.toUpper();
        if (upper == text) return;
        const int cursor = edit->cursorPosition();
        edit->setText(upper);
        edit->setCursorPosition(cursor);
    });
}

}  // namespace

void ProgrammerDialog::buildControls() {
    const DialogUnits du(font());
    setFixedSize(du.x(299), du.y(267));

    targetWrite_ = place(new BitmapButton(QStringLiteral("Target Write"), this), "1010", du, 7, 213, 62, 22);
    targetReset_ = place(new BitmapButton(QStringLiteral("Target Reset"), this), "1007", du, 81, 213, 62, 22);
    load_ = place(new BitmapButton(QStringLiteral("Load"), this), "1006", du, 155, 213, 62, 22);
    podWrite_ = place(new BitmapButton(QStringLiteral("POD Write"), this), "1008", du, 7, 238, 62, 22);
    podVerify_ = place(new BitmapButton(QStringLiteral("POD Verify"), this), "1009", du, 81, 238, 62, 22);
    podInfo_ = place(new BitmapButton(QStringLiteral("POD Info"), this), "1014", du, 155, 238, 62, 22);
    exit_ = place(new BitmapButton(QStringLiteral("Exit"), this), "1011", du, 229, 213, 62, 22);

    mcu_ = placeCombo(new SteadyComboBox(this), "1000", du, 37, 7, 111);
    for (McuType device : kMcuTypes) mcu_->addItem(QString::fromLatin1(mcuInfo(device)->selectorText));
    podFileNameBox_ = place(new QLineEdit(this), "1005", du, 204, 7, 88, 14);
    auto* path = new SteadyComboBox(this);
    path->makePathBox();
    filePath_ = path;
    placeCombo(filePath_, "1003", du, 37, 25, 228);
    browse_ = place(new QPushButton(QStringLiteral("..."), this), "1004", du, 269, 25, 23, 14);
    browse_->setAutoDefault(false);
    intelligentErase_ =
        place(new QRadioButton(QStringLiteral("Intelligent Erase Flash Memory"), this), "1001", du, 37, 55, 114, 14);
    eraseAll_ = place(new QRadioButton(QStringLiteral("Erase All Flash Memory"), this), "1002", du, 159, 55, 93, 14);
    csm_ = place(new QCheckBox(QStringLiteral("Unlock CSM(Code Security Module) 사용 여부"), this), "1015", du, 37, 69,
                 181, 15);
    static const int kRowY[] = {103, 119, 135, 153};
    for (int n = 0; n < 8; ++n) {
        const QByteArray id = QByteArray::number(1016 + n);
        keyBoxes_[n] = place(new QLineEdit(this), id.constData(), du, n % 2 == 0 ? 100 : 221, kRowY[n / 2], 31, 15);
        upperCaseOnly(keyBoxes_[n]);
    }
    message_ = place(new MessageLine(QStringLiteral("Message"), this), "1013", du, 7, 175, 285, 18);
    progress_ = place(new PercentProgressBar(this), "1012", du, 7, 195, 285, 16);
    message_->setAccessibleName(QStringLiteral("Message"));
    progress_->setAccessibleName(QStringLiteral("Progress"));
    place(new QLabel(QStringLiteral("MCU"), this), "label-mcu", du, 7, 7, 28, 14);
    auto* group = place(new QGroupBox(QStringLiteral("Option for TMS320F283x Device"), this), "group-options", du, 7,
                        43, 285, 130);
    group->lower();  // a frame behind the controls it surrounds
    place(new QLabel(QStringLiteral("File Path"), this), "label-file-path", du, 7, 25, 31, 14);
    for (int n = 0; n < 8; ++n) {
        const QByteArray id = QByteArray::number(1024 + n);
        keyLabels_[n] = place(new QLabel(QStringLiteral("KEY%1 (0xFFFFFF)").arg(n), this), id.constData(), du,
                              n % 2 == 0 ? 37 : 159, kRowY[n / 2], 56, 15);
    }
    place(new QLabel(QStringLiteral("Flash Algorithm Code에 사용됩니다. - Hex Value"), this), "label-keys", du, 47, 85,
          173, 15);
    place(new QLabel(QStringLiteral("POD File Name"), this), "label-pod-file-name", du, 152, 7, 51, 14);

    connectControls();
}

// Each control's event into the handler that routes it to the window core.
void ProgrammerDialog::connectControls() {
    connect(targetWrite_, &QPushButton::clicked, this, &ProgrammerDialog::onTargetWrite);
    connect(targetReset_, &QPushButton::clicked, this, &ProgrammerDialog::onTargetReset);
    connect(load_, &QPushButton::clicked, this, &ProgrammerDialog::onLoad);
    connect(podWrite_, &QPushButton::clicked, this, &ProgrammerDialog::onPodWrite);
    connect(podVerify_, &QPushButton::clicked, this, &ProgrammerDialog::onPodVerify);
    connect(podInfo_, &QPushButton::clicked, this, &ProgrammerDialog::onPodInfo);
    connect(exit_, &QPushButton::clicked, this, &ProgrammerDialog::onExit);
    connect(browse_, &QPushButton::clicked, this, &ProgrammerDialog::onBrowse);
    connect(csm_, &QCheckBox::clicked, this, &ProgrammerDialog::onCsmToggled);
    connect(filePath_, &QComboBox::activated, this, &ProgrammerDialog::onRecentFileSelected);
}

}  // namespace cvl::ui
