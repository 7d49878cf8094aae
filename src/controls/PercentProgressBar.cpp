#include "controls/PercentProgressBar.h"

#include <QPainter>

namespace cvl::ui {

PercentProgressBar::PercentProgressBar(QWidget* parent)
    : QProgressBar(parent),
      barColour_(palette().color(QPalette::Highlight)),
      troughColour_(palette().color(QPalette::Base)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PercentProgressBar::setRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    // QProgressBar's own range and value are what accessibility tools read:
    // kept in step with what is painted (it takes no empty or inverted range).
    QProgressBar::setRange(0, 100);
}

double PercentProgressBar::fraction() const {
    // An empty range (lower not below upper) draws an empty bar, never a division by zero.
    if (upper_ <= lower_) return 0.0;
    const double f = (static_cast<double>(position_) - lower_) / (static_cast<double>(upper_) - lower_);
    return f < 0.0 ? 0.0 : f > 1.0 ? 1.0 : f;
}

int PercentProgressBar::fillWidth() const { return static_cast<int>(fraction() * width()); }

QString PercentProgressBar::percentText() const {
    return QString::number(static_cast<int>(fraction() * 100.0)) + QLatin1Char('%');
}

int PercentProgressBar::setPos(int position) {
    const int previous = position_;
    position_ = position;
    if (width() != lastClientWidth_) {  // resized (also while hidden): repaint whatever the fill
        lastClientWidth_ = width();
        lastFillWidth_ = -1;
    }
    const int fill = fillWidth();
    if (fill != lastFillWidth_) {
        lastFillWidth_ = fill;
        ++repaints_;
        QProgressBar::setValue(static_cast<int>(fraction() * 100.0));
        repaint();  // paint now, not at the next turn of the event loop
    }
    return previous;
}

void PercentProgressBar::resizeEvent(QResizeEvent* event) {
    lastFillWidth_ = -1;
    QProgressBar::resizeEvent(event);
}

void PercentProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // A one-pixel border around the trough, as a progress control is drawn.
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const QRect client = rect().adjusted(1, 1, -1, -1);
    const QRect bar(client.left(), client.top(), static_cast<int>(fraction() * client.width()), client.height());
    const QRect trough(bar.right() + 1, client.top(), client.width() - bar.width(), client.height());
    p.fillRect(bar, barColour_);
    p.fillRect(trough, troughColour_);
    const QString text = percentText();
    p.setClipRect(bar);
    p.setPen(troughColour_);
    p.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
    p.setClipRect(trough);
    p.setPen(barColour_);
    p.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
}

}  // namespace cvl::ui
