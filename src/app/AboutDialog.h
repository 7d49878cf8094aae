#pragma once

#include <QDialog>

namespace cvl::ui {

// The about box: icon, program name and version, one line about it, OK.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace cvl::ui
