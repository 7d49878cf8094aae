#include "win/SmallDialogs.h"

#include "platform/win32/WideText.h"
#include "pod/PodChoice.h"
#include "session/BaseAddressText.h"
#include "win/ResourceIds.h"

namespace cvl::win {

namespace {

std::wstring itemText(HWND dialog, int id) {
    wchar_t buffer[512] = L"";
    GetDlgItemTextW(dialog, id, buffer, 512);
    return buffer;
}

struct PodQuestion {
    const std::vector<PodInfo>* pods;
    std::string currentSerial;
    int chosen = -1;
    std::string port;  // typed by hand
};

INT_PTR CALLBACK podProcedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    auto* q = reinterpret_cast<PodQuestion*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, l);
            q = reinterpret_cast<PodQuestion*>(l);
            HWND list = GetDlgItem(dialog, IDC_POD_LIST);
            int current = 0;
            for (std::size_t n = 0; n < q->pods->size(); ++n) {
                const PodInfo& pod = (*q->pods)[n];
                SendMessageW(list, LB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(win32::wideText(podDescription(pod)).c_str()));
                if (!q->currentSerial.empty() && pod.serialNumber == q->currentSerial) current = static_cast<int>(n);
            }
            SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(current), 0);
            SetFocus(list);
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(w) == IDOK || (LOWORD(w) == IDC_POD_LIST && HIWORD(w) == LBN_DBLCLK)) {
                q->port = LOWORD(w) == IDOK ? win32::utf8Text(itemText(dialog, IDC_POD_PORT)) : std::string();
                q->chosen = static_cast<int>(SendDlgItemMessageW(dialog, IDC_POD_LIST, LB_GETCURSEL, 0, 0));
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(w) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

struct BaseQuestion {
    std::string fileName;
    McuType device;
    std::optional<std::uint32_t> base;
};

INT_PTR CALLBACK baseProcedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    auto* q = reinterpret_cast<BaseQuestion*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, l);
            q = reinterpret_cast<BaseQuestion*>(l);
            SetDlgItemTextW(dialog, IDC_BASE_QUESTION,
                            win32::wideText(session::baseAddressQuestion(q->fileName)).c_str());
            SetDlgItemTextW(dialog, IDC_BASE, win32::wideText(session::offeredBaseText(q->device)).c_str());
            SendDlgItemMessageW(dialog, IDC_BASE, EM_LIMITTEXT, 8, 0);
            SendDlgItemMessageW(dialog, IDC_BASE, EM_SETSEL, 0, -1);
            SetFocus(GetDlgItem(dialog, IDC_BASE));
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(w) == IDOK) {
                std::string refusal;
                q->base = session::baseFromText(win32::utf8Text(itemText(dialog, IDC_BASE)), q->device, refusal);
                if (!q->base) {
                    SetDlgItemTextW(dialog, IDC_BASE_REFUSAL, win32::wideText(refusal).c_str());
                    return TRUE;
                }
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(w) == IDCANCEL) {
                q->base.reset();
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM w, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(w));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

std::optional<PodInfo> askWhichPod(HWND parent, const std::vector<PodInfo>& pods, const std::string& currentSerial) {
    PodQuestion q{&pods, currentSerial, -1, {}};
    const INT_PTR answer = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CHOOSE_POD), parent,
                                           podProcedure, reinterpret_cast<LPARAM>(&q));
    if (answer != IDOK) return std::nullopt;
    if (q.port.find_first_not_of(" \t") != std::string::npos) {
        PodInfo port;  // a port the system may describe as nothing: used once it answers
        port.devicePath = q.port;
        port.namedOnly = true;
        return port;
    }
    if (q.chosen < 0 || static_cast<std::size_t>(q.chosen) >= pods.size()) return std::nullopt;
    return pods[static_cast<std::size_t>(q.chosen)];
}

std::optional<std::uint32_t> askBinaryBase(HWND parent, const std::string& fileName, McuType device) {
    BaseQuestion q{fileName, device, std::nullopt};
    const INT_PTR answer = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BINARY_BASE), parent,
                                           baseProcedure, reinterpret_cast<LPARAM>(&q));
    return answer == IDOK ? q.base : std::nullopt;
}

void showAbout(HWND parent) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), parent, aboutProcedure, 0);
}

}  // namespace cvl::win
