#include "app/BaseAddressDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace cvl::ui {

bool baseInsideDevice(McuType device, std::uint32_t base) {
    return whollyInFlash(device, base, 1) || whollyInBootRam(device, base, 1);
}

std::optional<std::uint32_t> askBinaryBase(QWidget* parent, const QString& fileName, McuType device) {
    const McuInfo* info = mcuInfo(device);
    if (info == nullptr) return std::nullopt;
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("binaryBase"));
    dialog.setWindowTitle(QStringLiteral("Raw binary"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QStringLiteral("%1 is a raw binary. Word address of its first word (hexadecimal):").arg(fileName), &dialog));
    auto* box = new QLineEdit(QString::asprintf("%06X", info->flashStart), &dialog);
    box->setObjectName(QStringLiteral("base"));
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("(0[xX])?[0-9A-Fa-f]{1,6}")), box));
    box->selectAll();
    layout->addWidget(box);
    auto* refusal = new QLabel(&dialog);
    refusal->setObjectName(QStringLiteral("refusal"));
    layout->addWidget(refusal);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);

    std::optional<std::uint32_t> chosen;
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        bool ok = false;
        QString text = box->text();
        if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) text = text.mid(2);
        const std::uint32_t base = text.toUInt(&ok, 16);
        if (!ok || !baseInsideDevice(device, base)) {
            refusal->setText(QStringLiteral("%1 is not a word address inside the %2's flash or RAM")
                                 .arg(box->text(), QString::fromLatin1(info->shortName)));
            return;
        }
        chosen = base;
        dialog.accept();
    });
    box->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return chosen;
}

}  // namespace cvl::ui
