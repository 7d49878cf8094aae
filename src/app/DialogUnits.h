#pragma once
// Converts dialog-template units to pixels as the Windows dialog manager
// does: a horizontal unit is a quarter of the font's average character
// width, a vertical unit an eighth of its height. The window keeps the
// proportions of its template whatever the font.

#include <QFont>
#include <QFontMetrics>
#include <QRect>

namespace cvl::ui {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics fm(font);
        const int letters =
            fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        baseX_ = (letters / 26 + 1) / 2;
        baseY_ = fm.height();
    }
    int x(int units) const { return units * baseX_ / 4; }
    int y(int units) const { return units * baseY_ / 8; }
    QRect rect(int x0, int y0, int w, int h) const { return {x(x0), y(y0), x(w), y(h)}; }

private:
    int baseX_ = 1;
    int baseY_ = 1;
};

}  // namespace cvl::ui
