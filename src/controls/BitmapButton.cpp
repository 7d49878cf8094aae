#include "controls/BitmapButton.h"

#include <QBitmap>
#include <QImage>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace cvl::ui {

namespace {
constexpr int kPictureMargin = 5;
constexpr int kCaptionWidthAllowance = 7;
constexpr int kCaptionHeightAllowance = 6;  // above and below
constexpr int kPressedShift = 2;
constexpr int kFocusInset = 4;
}  // namespace

BitmapButton::BitmapButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setAutoDefault(false);
}

bool BitmapButton::loadBitmap(const QString& resource, const QColor& transparent) {
    // On a high-DPI screen the picture drawn at twice the size (NAME@2x.xpm), where there is one.
    QImage image;
    qreal ratio = 1.0;
    if (devicePixelRatioF() > 1.0) {
        QString large = resource;
        large.insert(large.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
        if (image.load(large)) ratio = 2.0;
    }
    if (image.isNull() && !image.load(resource)) {
        normal_ = disabled_ = QPixmap();
        return false;
    }
    normal_ = QPixmap::fromImage(image);
    normal_.setMask(QBitmap::fromImage(image.createMaskFromColor(transparent.rgb(), Qt::MaskInColor)));
    normal_.setDevicePixelRatio(ratio);
    QStyleOption option;
    option.initFrom(this);
    disabled_ = style()->generatedIconPixmap(QIcon::Disabled, normal_, &option);
    disabled_.setDevicePixelRatio(ratio);
    update();
    return true;
}

QSize BitmapButton::pictureSize() const { return normal_.deviceIndependentSize().toSize(); }

QRect BitmapButton::pictureRect() const {
    if (normal_.isNull()) return {};
    const QSize picture = pictureSize();
    const QSize box(picture.width() + 2 * kPictureMargin, picture.height() + 2 * kPictureMargin);
    const int shift = isDown() ? kPressedShift : 0;
    const int y = (height() - box.height()) / 2 + kPictureMargin;
    return QRect(QPoint(kPictureMargin + shift, y + shift), picture);
}

QRect BitmapButton::captionRect() const {
    const QFontMetrics fm(font());
    QSize caption(fm.horizontalAdvance(text()), fm.height());
    QSize box(caption.width() + kCaptionWidthAllowance, caption.height() + 2 * kCaptionHeightAllowance);
    box = box.boundedTo(size());
    caption = caption.boundedTo(size());
    const int shift = isDown() ? kPressedShift : 0;
    if (normal_.isNull()) {  // no picture: the caption alone, centred
        return QRect((width() - caption.width()) / 2 + shift, (height() - caption.height()) / 2 + shift,
                     caption.width(), caption.height());
    }
    const int pictureBox = std::min(pictureSize().width() + 2 * kPictureMargin, std::max(0, width() - box.width()));
    const int y = (height() - box.height()) / 2 + kCaptionHeightAllowance;
    return QRect(pictureBox + shift, y + shift, caption.width(), caption.height());
}

void BitmapButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    p.drawControl(QStyle::CE_PushButtonBevel, option);

    if (!normal_.isNull()) p.drawPixmap(pictureRect().topLeft(), isEnabled() ? normal_ : disabled_);

    p.setPen(isEnabled() ? QColor(Qt::black) : palette().color(QPalette::Disabled, QPalette::ButtonText));
    p.drawText(captionRect(), Qt::AlignCenter | Qt::TextSingleLine, text());

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        if (isDown()) {
            p.setPen(palette().color(QPalette::Shadow));
            p.drawRect(rect().adjusted(1, 1, -2, -2));
        }
    }
}

}  // namespace cvl::ui
