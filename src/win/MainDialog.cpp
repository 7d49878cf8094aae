#include "win/MainDialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdio>

#include "image/McuTable.h"
#include "platform/win32/WideText.h"
#include "pod/SystemBackends.h"
#include "win/ResourceIds.h"
#include "win/SmallDialogs.h"

namespace cvl::win {

namespace {
constexpr int kCommandButtons[] = {IDC_TARGET_WRITE, IDC_TARGET_RESET, IDC_LOAD, IDC_POD_WRITE,
                                   IDC_POD_VERIFY,   IDC_POD_INFO,     IDC_EXIT};
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kGreen = RGB(0, 255, 0);
}  // namespace

MainDialog::MainDialog(PodLink::BackendLoader loader, Clock& clock, std::wstring program, std::string podName)
    : loader_(std::move(loader)), clock_(clock), podName_(std::move(podName)), store_(std::move(program)) {}

void MainDialog::run() {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, procedure,
                    reinterpret_cast<LPARAM>(this));
    if (green_ != nullptr) DeleteObject(green_);
}

INT_PTR CALLBACK MainDialog::procedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, l);
        auto* self = reinterpret_cast<MainDialog*>(l);
        self->dialog_ = dialog;
        self->initialise();
        return TRUE;
    }
    auto* self = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->handle(message, w, l) : FALSE;
}

void MainDialog::initialise() {
    thread_.setWindow(dialog_);
    icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
    SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    green_ = CreateSolidBrush(kGreen);
    for (McuType device : kMcuTypes) {
        SendDlgItemMessageW(dialog_, IDC_MCU, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(win32::wideText(mcuInfo(device)->selectorText).c_str()));
    }
    fitDeviceBox();
    progress_.attach(GetDlgItem(dialog_, IDC_PROGRESS));
    progress_.setRange(0, 100);
    progress_.setPos(0);
    const std::pair<int, int> pictures[] = {{IDC_LOAD, 130},       {IDC_TARGET_RESET, 131}, {IDC_POD_WRITE, 132},
                                            {IDC_POD_VERIFY, 133}, {IDC_TARGET_WRITE, 134}, {IDC_POD_INFO, 135},
                                            {IDC_EXIT, 136}};
    for (const auto& [id, resource] : pictures) buttons_.loadBitmap(dialog_, id, resource);
    for (int n = 0; n < 8; ++n) {
        wchar_t label[32];
        std::swprintf(label, 32, L"KEY%d (0x%06X)", n, kCsmPasswordAddress + n);
        SetDlgItemTextW(dialog_, IDC_KEY_LABEL0 + n, label);
        SendDlgItemMessageW(dialog_, IDC_KEY0 + n, EM_LIMITTEXT, 4, 0);
    }
    SendDlgItemMessageW(dialog_, IDC_POD_FILE_NAME, EM_LIMITTEXT, 8, 0);
    session_ = std::make_unique<session::ProgrammerSession>(*this, thread_, store_, std::move(loader_), clock_);
    session_->setBackendsNaming(systemBackendsNaming);
    thread_.setEscapeWhileWaiting([this] { session_->closeRequested(); });
    session_->start(podName_);
}

// The closed device box shows the longest entry whole.
void MainDialog::fitDeviceBox() {
    HWND box = GetDlgItem(dialog_, IDC_MCU);
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (McuType device : kMcuTypes) {
        const std::wstring text = win32::wideText(mcuInfo(device)->selectorText);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    RECT r;
    GetWindowRect(box, &r);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
    const LONG needed = widest + GetSystemMetrics(SM_CXVSCROLL) + 3 * GetSystemMetrics(SM_CXEDGE) + 4;
    if (r.right - r.left < needed)
        SetWindowPos(box, nullptr, 0, 0, needed, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    SendMessageW(box, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(needed), 0);
}

INT_PTR MainDialog::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            command(LOWORD(w), HIWORD(w));
            return TRUE;
        case WM_DRAWITEM:
            buttons_.draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(l) == GetDlgItem(dialog_, IDC_MESSAGE)) {
                auto* dc = reinterpret_cast<HDC>(w);
                SetTextColor(dc, messageIsError_ ? kRed : kBlack);
                SetBkColor(dc, kGreen);
                return reinterpret_cast<INT_PTR>(green_);
            }
            return FALSE;
        case WM_CONTEXTMENU:
            contextMenu(l);
            return TRUE;
        case WM_SETCURSOR:
            if (waitCursor_ == 0) return FALSE;
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_CLOSE:
            if (closing_ || session_->closeRequested()) closeWindow();
            return TRUE;
        case WM_DESTROY:
            session_->end();
            session_.reset();
            return FALSE;
        case kRunPosted:
            thread_.runPosted();
            return TRUE;
        case kRunNow:
            thread_.runNow(l);
            return TRUE;
        default:
            return FALSE;
    }
}

void MainDialog::command(int id, int code) {
    switch (id) {
        case IDC_TARGET_WRITE:
            session_->targetWrite();
            break;
        case IDC_TARGET_RESET:
            session_->targetReset();
            break;
        case IDC_LOAD:
            session_->load();
            break;
        case IDC_POD_WRITE:
            session_->podWrite();
            break;
        case IDC_POD_VERIFY:
            session_->podVerify();
            break;
        case IDC_POD_INFO:
            session_->podInfo();
            break;
        case IDC_BROWSE:
            session_->browse();
            break;
        case IDC_EXIT:
            if (session_->closeRequested()) closeWindow();
            break;
        case IDC_CSM: {
            const bool use = IsDlgButtonChecked(dialog_, IDC_CSM) == BST_CHECKED;
            for (int n = 0; n < 8; ++n) EnableWindow(GetDlgItem(dialog_, IDC_KEY0 + n), use);
            break;
        }
        case IDC_FILE_PATH:
            if (code == CBN_SELENDOK) {
                const LRESULT index = SendDlgItemMessageW(dialog_, IDC_FILE_PATH, CB_GETCURSEL, 0, 0);
                // The box shows the chosen entry before the load reads the controls.
                if (index >= 0) {
                    wchar_t path[MAX_PATH * 4] = L"";
                    SendDlgItemMessageW(dialog_, IDC_FILE_PATH, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(path));
                    SetDlgItemTextW(dialog_, IDC_FILE_PATH, path);
                    session_->recentFileChosen(static_cast<std::size_t>(index));
                }
            }
            break;
        case IDOK:  // Enter
            enter();
            break;
        case IDCANCEL:  // Esc
            if (session_->closeRequested()) closeWindow();
            break;
        case IDM_CHOOSE_POD:
            session_->choosePod();
            break;
        case IDM_ABOUT:
            win::showAbout(dialog_);
            break;
        default:
            break;
    }
}

session::Focus MainDialog::focusKind() const {
    HWND focus = GetFocus();
    HWND path = GetDlgItem(dialog_, IDC_FILE_PATH);
    if (focus == path || GetParent(focus) == path) return session::Focus::FilePath;
    if (focus == GetDlgItem(dialog_, IDC_POD_FILE_NAME)) return session::Focus::PodFileName;
    for (int n = 0; n < 8; ++n) {
        if (focus == GetDlgItem(dialog_, IDC_KEY0 + n)) return session::Focus::CsmKey;
    }
    wchar_t kind[16] = L"";
    GetClassNameW(focus, kind, 16);
    const LONG_PTR style = GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK;
    if (lstrcmpiW(kind, L"Button") == 0 &&
        (style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON || style == BS_OWNERDRAW))
        return session::Focus::PushButton;
    return session::Focus::Other;
}

void MainDialog::enter() {
    switch (session_->enterPressed(focusKind())) {
        case session::EnterAction::PressButton:
            command(GetDlgCtrlID(GetFocus()), BN_CLICKED);
            break;
        case session::EnterAction::Load:
            session_->load();
            break;
        case session::EnterAction::TakeText:
            break;
        case session::EnterAction::Close:
            if (session_->closeRequested()) closeWindow();
            break;
    }
}

void MainDialog::contextMenu(LPARAM at) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, IDM_CHOOSE_POD, L"Choose POD...");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUT, L"Corvexlink 정보(&A)...");
    POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {  // from the keyboard: at the window's corner
        RECT r;
        GetWindowRect(dialog_, &r);
        p = {r.left + 16, r.top + 16};
    }
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, p.x, p.y, 0, dialog_, nullptr);
    DestroyMenu(menu);
}

// --- what the core asks of the window ----------------------------------------

std::string MainDialog::itemText(int id) const {
    HWND item = GetDlgItem(dialog_, id);
    const int length = GetWindowTextLengthW(item);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(item, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return win32::utf8Text(text);
}

session::ControlValues MainDialog::controls() const {
    session::ControlValues c;
    const LRESULT device = SendDlgItemMessageW(dialog_, IDC_MCU, CB_GETCURSEL, 0, 0);
    c.mcuIndex = static_cast<std::uint8_t>(device < 0 ? 0 : device & 0xFF);
    c.filePath = itemText(IDC_FILE_PATH);
    c.eraseAll = IsDlgButtonChecked(dialog_, IDC_ERASE_ALL) == BST_CHECKED;
    c.csmUse = IsDlgButtonChecked(dialog_, IDC_CSM) == BST_CHECKED;
    for (int n = 0; n < 8; ++n) c.keyTexts[static_cast<std::size_t>(n)] = itemText(IDC_KEY0 + n);
    c.podFileName = itemText(IDC_POD_FILE_NAME);
    return c;
}

void MainDialog::showProfile(const session::Profile& profile) {
    SendDlgItemMessageW(dialog_, IDC_MCU, CB_SETCURSEL, profile.mcuType, 0);
    showRecentFiles(profile.recentFiles, profile.recentFiles.empty() ? std::string() : profile.recentFiles.front());
    CheckRadioButton(dialog_, IDC_INTELLIGENT_ERASE, IDC_ERASE_ALL,
                     profile.eraseAll ? IDC_ERASE_ALL : IDC_INTELLIGENT_ERASE);
    CheckDlgButton(dialog_, IDC_CSM, profile.csmUse ? BST_CHECKED : BST_UNCHECKED);
    for (int n = 0; n < 8; ++n) {
        wchar_t key[8];
        std::swprintf(key, 8, L"%04X", profile.keys.words[n]);
        SetDlgItemTextW(dialog_, IDC_KEY0 + n, key);
        EnableWindow(GetDlgItem(dialog_, IDC_KEY0 + n), profile.csmUse);
    }
    SetDlgItemTextW(dialog_, IDC_POD_FILE_NAME, win32::wideText(profile.podFileName).c_str());
}

void MainDialog::showRecentFiles(const std::vector<std::string>& files, const std::string& shown) {
    HWND box = GetDlgItem(dialog_, IDC_FILE_PATH);
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& path : files)
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::wideText(path).c_str()));
    const auto at = std::find(files.begin(), files.end(), shown);
    if (at != files.end()) {
        SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(at - files.begin()), 0);
    } else {
        SetWindowTextW(box, win32::wideText(shown).c_str());
    }
}

void MainDialog::showPodFileName(const std::string& name) {
    SetDlgItemTextW(dialog_, IDC_POD_FILE_NAME, win32::wideText(name).c_str());
}

void MainDialog::setTitle(const std::string& title) { SetWindowTextW(dialog_, win32::wideText(title).c_str()); }

void MainDialog::closeWindow() {
    closing_ = true;
    EndDialog(dialog_, IDOK);
}

bool MainDialog::askYesNo(const std::string& question) {
    return MessageBoxW(dialog_, win32::wideText(question).c_str(), L"Corvexlink",
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

std::optional<PodInfo> MainDialog::askWhichPod(const std::vector<PodInfo>& pods, const std::string& currentSerial) {
    return win::askWhichPod(dialog_, pods, currentSerial);
}

std::optional<std::uint32_t> MainDialog::askBinaryBase(const std::string& fileName, McuType device) {
    return win::askBinaryBase(dialog_, fileName, device);
}

std::string MainDialog::chooseFile(const std::string& folder) {
    wchar_t path[32768] = L"";
    const std::wstring start = win32::wideText(folder);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialog_;
    ofn.lpstrFilter =
        L"Program files (*.out;*.elf;*.hex;*.i*;*.bin)\0*.out;*.elf;*.hex;*.i*;*.bin\0COFF Files (.out)\0*.out\0"
        L"Intel HEX Files (*.hex;*.i*)\0*.hex;*.i*\0Raw binary files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = 32768;
    ofn.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn)) return {};
    return win32::utf8Text(path);
}

// --- status -------------------------------------------------------------------

void MainDialog::showMessage(std::string_view text, bool isError) {
    messageIsError_ = isError;
    HWND line = GetDlgItem(dialog_, IDC_MESSAGE);
    SetWindowTextW(line, win32::wideText(std::string(text)).c_str());  // what a screen reader reads out
    InvalidateRect(line, nullptr, TRUE);
    UpdateWindow(line);
}

void MainDialog::setButtonsEnabled(bool enabled) {
    for (int id : kCommandButtons) {
        HWND button = GetDlgItem(dialog_, id);
        EnableWindow(button, enabled);
        UpdateWindow(button);
    }
}

void MainDialog::commandStarted() {
    setButtonsEnabled(false);
    ++waitCursor_;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void MainDialog::commandEnded() {
    if (waitCursor_ > 0 && --waitCursor_ == 0) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    setButtonsEnabled(true);
}

void MainDialog::beginProgress(std::uint32_t total) {
    progress_.setRange(0, static_cast<std::int32_t>(std::min<std::uint32_t>(total, 0x7FFFFFFF)));
    progress_.setStep(1);
    progress_.setPos(0);
}

}  // namespace cvl::win
