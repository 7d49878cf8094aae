#pragma once
// A push button that draws a small picture left of its caption, with its own
// pressed (shifted 2 px), disabled and focused looks.

#include <QPixmap>
#include <QPushButton>

namespace cvl::ui {

class BitmapButton : public QPushButton {
    Q_OBJECT
public:
    explicit BitmapButton(const QString& caption, QWidget* parent = nullptr);

    // Loads the picture; transparent is the colour shown as background.
    // False (and no picture) when the image cannot be read.
    bool loadBitmap(const QString& resource, const QColor& transparent);

    // Where the picture and the caption go for the current size and state.
    QRect pictureRect() const;
    QRect captionRect() const;
    bool hasPicture() const { return !normal_.isNull(); }
    // The picture in the window's units (16x16, also when drawn at 32x32).
    QSize pictureSize() const;
    // Pixels per window unit of the picture: 2 for the high-DPI drawing.
    qreal pictureRatio() const { return normal_.devicePixelRatio(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap normal_;
    QPixmap disabled_;
};

}  // namespace cvl::ui
