#include "controls/MessageLine.h"

#include <QFontMetrics>
#include <QPainter>

namespace cvl::ui {

MessageLine::MessageLine(const QString& caption, QWidget* parent)
    : QWidget(parent),
      caption_(caption),
      textColour_(palette().color(QPalette::WindowText)),
      backColour_(palette().color(QPalette::Base)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MessageLine::setTextColour(const QColor& colour, bool draw) {
    textColour_ = colour;
    drawText_ = draw;
}

void MessageLine::setBackColour(const QColor& colour, bool draw) {
    backColour_ = colour;
    drawText_ = draw;
}

void MessageLine::setText(const QString& text) {
    text_ = text;
    // A line too long for the box ends in an ellipsis; the whole text is the tooltip.
    setToolTip(shownText() == text_ ? QString() : text_);
}

QRect MessageLine::textRect() const { return (fitted_ ? drawRect_ : rect()).adjusted(2, 2, -2, -2); }

QString MessageLine::shownText() const {
    const QString full = text_.isEmpty() ? caption_ : text_;
    return QFontMetrics(font()).elidedText(full, Qt::ElideRight, textRect().width());
}

void MessageLine::fitToText() {
    fitted_ = true;
    QRect r = rect();
    const QString shown = text_.isEmpty() ? caption_ : text_;
    const QFontMetrics fm(font());
    const int letterWidth = fm.horizontalAdvance(QLatin1Char('A'));
    if (r.height() < fm.height()) r.setBottom(r.top() + fm.height() - 1);
    if (r.width() < shown.size() * letterWidth) r.setRight(r.left() + shown.size() * letterWidth - 1);
    drawRect_ = r;
    setText(text_);
}

void MessageLine::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect area = fitted_ ? drawRect_ : rect();
    p.fillRect(area, backColour_);
    if (!drawText_) return;
    p.setClipRect(area);
    p.setPen(textColour_);
    p.drawText(textRect(), Qt::AlignCenter | Qt::TextSingleLine, shownText());
}

}  // namespace cvl::ui
