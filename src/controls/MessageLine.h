#pragma once
// The one-line message area: the text centred on a coloured background; its
// caption ("Message") when the text is empty. A text too long for the line
// ends in an ellipsis and is shown whole as the tooltip.

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

namespace cvl::ui {

class MessageLine : public QWidget {
    Q_OBJECT
public:
    explicit MessageLine(const QString& caption, QWidget* parent = nullptr);

    // Neither setter repaints; the caller repaints once it has set everything.
    void setTextColour(const QColor& colour, bool draw);
    void setBackColour(const QColor& colour, bool draw);
    void setText(const QString& text);
    // Fixes the drawing rectangle: the client area, grown to hold the text.
    void fitToText();

    const QString& text() const { return text_; }
    // What the line draws: the text, or its start and an ellipsis.
    QString shownText() const;
    const QString& caption() const { return caption_; }
    QColor textColour() const { return textColour_; }
    QColor backColour() const { return backColour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textRect() const;

    QString caption_;
    QString text_;
    QColor textColour_;
    QColor backColour_;
    bool drawText_ = false;
    bool fitted_ = false;
    QRect drawRect_;
};

}  // namespace cvl::ui
