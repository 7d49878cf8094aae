#include "win/PercentBar.h"

#include <commctrl.h>

#include <string>

namespace cvl::win {

void PercentBar::attach(HWND control) {
    control_ = control;
    SetWindowSubclass(control, procedure, 1, reinterpret_cast<DWORD_PTR>(this));
}

void PercentBar::setRange(std::int32_t lower, std::int32_t upper) {
    lower_ = lower;
    upper_ = upper;
}

double PercentBar::fraction() const {
    if (upper_ <= lower_) return 0;
    const double f = static_cast<double>(position_ - lower_) / static_cast<double>(upper_ - lower_);
    return f < 0 ? 0 : f > 1 ? 1 : f;
}

std::int32_t PercentBar::setPos(std::int32_t position) {
    const std::int32_t previous = position_;
    position_ = position;
    if (control_ == nullptr) return -1;
    RECT client;
    GetClientRect(control_, &client);
    const int fill = static_cast<int>(fraction() * client.right);
    if (fill != lastFill_) {
        lastFill_ = fill;
        InvalidateRect(control_, nullptr, TRUE);
        UpdateWindow(control_);
    }
    return previous;
}

void PercentBar::paint() {
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(control_, &ps);
    RECT client;
    GetClientRect(control_, &client);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, canvas);
    const double f = fraction();
    const RECT bar{0, 0, static_cast<LONG>(client.right * f), client.bottom};
    const RECT trough{bar.right, 0, client.right, client.bottom};
    FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
    FillRect(dc, &trough, GetSysColorBrush(COLOR_WINDOW));
    const std::wstring text = std::to_wstring(static_cast<int>(f * 100)) + L"%";
    SetBkMode(dc, TRANSPARENT);
    // Each part of the text in the colour that stands out from what lies beneath it.
    const std::pair<const RECT*, int> parts[] = {{&bar, COLOR_WINDOW}, {&trough, COLOR_HIGHLIGHT}};
    for (const auto& [part, colour] : parts) {
        HRGN clip = CreateRectRgnIndirect(part);
        SelectClipRgn(dc, clip);
        SetTextColor(dc, GetSysColor(colour));
        RECT whole = client;
        DrawTextW(dc, text.c_str(), -1, &whole, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        SelectClipRgn(dc, nullptr);
        DeleteObject(clip);
    }
    BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    EndPaint(control_, &ps);
}

LRESULT CALLBACK PercentBar::procedure(HWND window, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR self) {
    auto* bar = reinterpret_cast<PercentBar*>(self);
    switch (message) {
        case WM_PAINT:
            bar->paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the painting covers everything
        case WM_SIZE:
            bar->lastFill_ = -1;
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, procedure, 1);
            break;
        default:
            break;
    }
    return DefSubclassProc(window, message, w, l);
}

}  // namespace cvl::win
