#include "controls/SteadyComboBox.h"

#include <QCompleter>
#include <QLineEdit>
#include <QWheelEvent>

namespace cvl::ui {

SteadyComboBox::SteadyComboBox(QWidget* parent) : QComboBox(parent) { setFocusPolicy(Qt::StrongFocus); }

void SteadyComboBox::makePathBox() {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // No completion as the user types: a path that a recent file extends
    // ("app.out" with "app.out.old" listed) must stay what was typed.
    setCompleter(nullptr);
    // QComboBox matches the text against its items when editing finishes
    // (focus lost) and selects the match, which replaces the typed text and
    // loads that file: a path is taken only when the user picks an item.
    disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    // Enter likewise: the window loads what is typed, exactly as typed.
    disconnect(lineEdit(), &QLineEdit::returnPressed, this, nullptr);
}

void SteadyComboBox::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();  // goes on to the window, which scrolls nothing
        return;
    }
    QComboBox::wheelEvent(event);
}

}  // namespace cvl::ui
