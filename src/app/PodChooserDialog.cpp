#include "app/PodChooserDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "pod/PodChoice.h"

namespace cvl::ui {

std::optional<PodInfo> askWhichPod(QWidget* parent, const std::vector<PodInfo>& pods, const QString& currentSerial) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("choosePod"));
    dialog.setWindowTitle(QStringLiteral("Choose POD"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Which Corvexlink POD do the commands use?"), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("pods"));
    for (const PodInfo& pod : pods) list->addItem(QString::fromStdString(podDescription(pod)));
    int current = 0;
    for (std::size_t n = 0; n < pods.size(); ++n) {
        if (!currentSerial.isEmpty() && QString::fromStdString(pods[n].serialNumber) == currentSerial)
            current = static_cast<int>(n);
    }
    list->setCurrentRow(current);
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + 24);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    list->setFocus();
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return std::nullopt;
    return pods[static_cast<std::size_t>(list->currentRow())];
}

}  // namespace cvl::ui
