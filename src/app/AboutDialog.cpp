#include "app/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/DialogUnits.h"

namespace cvl::ui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Corvexlink 정보"));
    if (parent != nullptr) setFont(parent->font());
    const DialogUnits du(font());
    setFixedSize(du.x(217), du.y(55));
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/icon128.xpm")));
    icon->move(du.x(11), du.y(17));
    icon->adjustSize();
    auto* name = new QLabel(
        QStringLiteral("Corvexlink 버전 %1.%2").arg(CORVEXLINK_VERSION_MAJOR).arg(CORVEXLINK_VERSION_MINOR), this);
    name->setGeometry(du.rect(40, 10, 78, 8));
    name->adjustSize();
    auto* about = new QLabel(QStringLiteral("TMS320F2833x flash programmer"), this);
    about->setGeometry(du.rect(40, 25, 119, 8));
    about->adjustSize();
    auto* ok = new QPushButton(QStringLiteral("확인"), this);
    ok->setGeometry(du.rect(160, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace cvl::ui
