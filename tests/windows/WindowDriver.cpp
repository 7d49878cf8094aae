// Drives corvexlink.exe as a user or an accessibility tool does: it finds
// the window by its title and its controls by their ids, clicks, types and
// reads texts. One step per run, so a script strings the steps together:
//
//   window-driver wait-window MS          the window is shown within MS
//   window-driver text ID                 prints control ID's text (0: the title)
//   window-driver set-text ID TEXT        types TEXT into control ID
//   window-driver click ID                clicks button ID (without waiting)
//   window-driver wait-text ID PREFIX MS  control ID's text starts with PREFIX within MS
//   window-driver checked ID              prints 1 when check box or radio button ID is checked
//   window-driver selected ID             prints the index selected in combo box ID
//   window-driver close                   asks the window to close
//   window-driver screenshot FILE         saves the window as a bitmap file
//   window-driver foreground              exit 0 when the window is the foreground window
//
// Texts are UTF-8; exit 0 on success, 1 with the reason on standard error.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kTitleStart[] = L"TMS320F283x DSP Programmer";

std::wstring wide(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
    out.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
    return out;
}

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
    return out;
}

BOOL CALLBACK findMain(HWND window, LPARAM found) {
    wchar_t title[256] = L"";
    GetWindowTextW(window, title, 256);
    if (!IsWindowVisible(window) || std::wstring(title).rfind(kTitleStart, 0) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND mainWindow() {
    HWND found = nullptr;
    EnumWindows(findMain, reinterpret_cast<LPARAM>(&found));
    return found;
}

// A control's text through the window's own answer to WM_GETTEXT.
std::wstring textOf(HWND control) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    text.resize(copied);
    return text;
}

HWND control(HWND window, const char* id) {
    const int n = std::atoi(id);
    return n == 0 ? window : GetDlgItem(window, n);
}

int fail(const std::string& why) {
    std::fprintf(stderr, "window-driver: %s\n", why.c_str());
    return 1;
}

bool saveBitmap(HWND window, const std::wstring& file) {
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    // What the screen shows of the window, as a person sees it.
    BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0,
                            0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    bool ok = false;
    if (FILE* out = _wfopen(file.c_str(), L"wb")) {
        ok = std::fwrite(&header, sizeof header, 1, out) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 && std::fwrite(bits, size, 1, out) == 1;
        ok = std::fclose(out) == 0 && ok;
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return fail("no step given");
    const std::string step = argv[1];
    if (step == "wait-window") {
        const DWORD limit = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 10000;
        for (const DWORD start = GetTickCount(); GetTickCount() - start < limit; Sleep(50)) {
            if (mainWindow() != nullptr) return 0;
        }
        return fail("no window within " + std::to_string(limit) + " ms");
    }
    HWND window = mainWindow();
    if (window == nullptr) return fail("the window is not shown");
    if (step == "text" && argc > 2) {
        std::printf("%s\n", utf8(textOf(control(window, argv[2]))).c_str());
        return 0;
    }
    if (step == "set-text" && argc > 3) {
        const std::wstring text = wide(argv[3]);
        DWORD_PTR done = 0;
        return SendMessageTimeoutW(control(window, argv[2]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                   SMTO_ABORTIFHUNG, 5000, &done)
                   ? 0
                   : fail("the text was not taken");
    }
    if (step == "click" && argc > 2)
        return PostMessageW(control(window, argv[2]), BM_CLICK, 0, 0) ? 0 : fail("no click");
    if (step == "wait-text" && argc > 4) {
        const std::wstring prefix = wide(argv[3]);
        const DWORD limit = static_cast<DWORD>(std::atoi(argv[4]));
        std::wstring text;
        for (const DWORD start = GetTickCount(); GetTickCount() - start < limit; Sleep(50)) {
            text = textOf(control(window, argv[2]));
            if (text.rfind(prefix, 0) == 0) {
                std::printf("%s\n", utf8(text).c_str());
                return 0;
            }
        }
        return fail("control " + std::string(argv[2]) + " says '" + utf8(text) + "'");
    }
    if (step == "checked" && argc > 2) {
        std::printf("%d\n", SendMessageW(control(window, argv[2]), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        return 0;
    }
    if (step == "selected" && argc > 2) {
        std::printf("%d\n", static_cast<int>(SendMessageW(control(window, argv[2]), CB_GETCURSEL, 0, 0)));
        return 0;
    }
    if (step == "close") return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : fail("no close");
    if (step == "screenshot" && argc > 2) return saveBitmap(window, wide(argv[2])) ? 0 : fail("no screenshot");
    if (step == "foreground") return GetForegroundWindow() == window ? 0 : fail("the window is not in front");
    return fail("unknown step " + step);
}
