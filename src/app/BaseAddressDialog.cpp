#include "app/BaseAddressDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "session/BaseAddressText.h"

namespace cvl::ui {

std::optional<std::uint32_t> askBinaryBase(QWidget* parent, const QString& fileName, McuType device) {
    const McuInfo* info = mcuInfo(device);
    if (info == nullptr) return std::nullopt;
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("binaryBase"));
    dialog.setWindowTitle(QStringLiteral("Raw binary"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(
        new QLabel(QString::fromStdString(session::baseAddressQuestion(fileName.toStdString())), &dialog));
    auto* box = new QLineEdit(QString::fromStdString(session::offeredBaseText(device)), &dialog);
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
        std::string why;
        chosen = session::baseFromText(box->text().toStdString(), device, why);
        if (!chosen) {
            refusal->setText(QString::fromStdString(why));
            return;
        }
        dialog.accept();
    });
    box->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return chosen;
}

}  // namespace cvl::ui
