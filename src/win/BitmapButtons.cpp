#include "win/BitmapButtons.h"

#include <string>

namespace cvl::win {

namespace {
constexpr int kMargin = 5;  // around the picture
constexpr int kPressedShift = 2;
constexpr int kFocusInset = 4;

int screenScale(HWND window) {
    HDC dc = GetDC(window);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(window, dc);
    return dpi >= 192 ? 2 : 1;
}
}  // namespace

BitmapButtons::~BitmapButtons() {
    for (auto& [id, p] : pictures_) ImageList_Destroy(p.list);
}

void BitmapButtons::loadBitmap(HWND dialog, int id, int resource) {
    const int scale = screenScale(dialog);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto* bitmap = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(scale == 2 ? resource + 1000 : resource),
                                                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bitmap == nullptr) return;  // the caption alone, centred
    Pictures p;
    p.size = 16 * scale;
    p.list = ImageList_Create(p.size, p.size, ILC_COLOR24 | ILC_MASK, 1, 0);
    ImageList_AddMasked(p.list, bitmap, RGB(255, 255, 255));
    DeleteObject(bitmap);
    pictures_[id] = p;
}

void BitmapButtons::draw(const DRAWITEMSTRUCT& item) const {
    const RECT whole{0, 0, item.rcItem.right - item.rcItem.left, item.rcItem.bottom - item.rcItem.top};
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    // Drawn off-screen and copied in one block: no flicker.
    HDC dc = CreateCompatibleDC(item.hDC);
    HBITMAP canvas = CreateCompatibleBitmap(item.hDC, whole.right, whole.bottom);
    HGDIOBJ oldBitmap = SelectObject(dc, canvas);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));

    FillRect(dc, &whole, GetSysColorBrush(COLOR_BTNFACE));
    RECT frame = whole;
    if (focused && !pressed) InflateRect(&frame, -1, -1);
    DrawFrameControl(dc, &frame, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));

    wchar_t caption[64] = L"";
    GetWindowTextW(item.hwndItem, caption, 64);
    SIZE text{};
    GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &text);
    const auto found = pictures_.find(static_cast<int>(item.CtlID));
    const int shift = pressed ? kPressedShift : 0;
    int captionLeft = (whole.right - text.cx) / 2;
    if (found != pictures_.end()) {
        const Pictures& p = found->second;
        const int box = p.size + 2 * kMargin;
        ImageList_DrawEx(p.list, 0, dc, kMargin + shift, (whole.bottom - box) / 2 + kMargin + shift, 0, 0, CLR_NONE,
                         CLR_NONE, ILD_TRANSPARENT | (disabled ? ILD_BLEND50 : 0));
        captionLeft = box + std::max(0L, (whole.right - box - text.cx) / 2);
    }
    RECT captionRect{captionLeft + shift, shift, whole.right + shift, whole.bottom + shift};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, disabled ? GetSysColor(COLOR_GRAYTEXT) : RGB(0, 0, 0));
    DrawTextW(dc, caption, -1, &captionRect, DT_SINGLELINE | DT_VCENTER | DT_LEFT);

    if (focused) {
        RECT dots = whole;
        InflateRect(&dots, -kFocusInset, -kFocusInset);
        DrawFocusRect(dc, &dots);
        FrameRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        if (pressed) {
            RECT inner = whole;
            InflateRect(&inner, -1, -1);
            FrameRect(dc, &inner, GetSysColorBrush(COLOR_BTNSHADOW));
        }
    }
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, whole.right, whole.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(canvas);
    DeleteDC(dc);
}

}  // namespace cvl::win
