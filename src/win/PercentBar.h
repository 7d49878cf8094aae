#pragma once
// The progress bar (item 1012): its own range and position, a filled bar
// with the percentage across it in two colours, repainted only when the
// filled width in whole pixels changes (a command steps it once a word).

#include <windows.h>

#include <cstdint>

namespace cvl::win {

class PercentBar {
public:
    // Takes over the painting of the dialog's progress control.
    void attach(HWND control);
    void setRange(std::int32_t lower, std::int32_t upper);
    void setStep(std::int32_t step) { step_ = step; }
    std::int32_t setPos(std::int32_t position);
    void stepIt() { setPos(position_ + step_); }

private:
    static LRESULT CALLBACK procedure(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void paint();
    double fraction() const;

    HWND control_ = nullptr;
    std::int32_t lower_ = 0;
    std::int32_t upper_ = 100;
    std::int32_t position_ = 0;
    std::int32_t step_ = 1;
    int lastFill_ = -1;
};

}  // namespace cvl::win
