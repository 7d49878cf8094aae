#pragma once
// A combo box that changes only when the user means it to: the wheel turns
// it only while it has the keyboard focus (as native combo boxes behave), and
// an editable one never replaces what was typed (no case-insensitive match
// taking over the text, nothing chosen when the focus leaves).

#include <QComboBox>

namespace cvl::ui {

class SteadyComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit SteadyComboBox(QWidget* parent = nullptr);
    // Editable, inserting nothing, completing only the exact case.
    void makePathBox();

protected:
    void wheelEvent(QWheelEvent* event) override;
};

}  // namespace cvl::ui
