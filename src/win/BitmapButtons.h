#pragma once
// The seven owner-drawn command buttons: a picture left of the caption and
// their own normal, pressed, focused and disabled looks; pictures at twice
// the size on screens of 200% scale.

#include <windows.h>
#include <commctrl.h>

#include <map>

namespace cvl::win {

class BitmapButtons {
public:
    ~BitmapButtons();
    // The picture of button id: bitmap resource (at 1x) or resource + 1000 (at 2x), white transparent.
    void loadBitmap(HWND dialog, int id, int resource);
    // Answers the dialog's owner-draw request for one of the buttons.
    void draw(const DRAWITEMSTRUCT& item) const;

private:
    struct Pictures {
        HIMAGELIST list = nullptr;
        int size = 16;
    };
    std::map<int, Pictures> pictures_;
};

}  // namespace cvl::win
