#include "device_select_dialog.h"

#include <windows.h>

#include "grablet_instance.h"
#include "plugin_control_ids.h"
#include "wide_text.h"

namespace {

struct CDeviceSelectDlg {
    const std::vector<std::string>& names;
    LRESULT selected = 0;  // LB_ERR when nothing is selected
};

INT_PTR CALLBACK DeviceSelectProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CDeviceSelectDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            self = reinterpret_cast<CDeviceSelectDlg*>(lParam);
            const HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
            for (std::size_t i = 0; i < self->names.size(); ++i) {
                SendMessageW(list, LB_INSERTSTRING, i,
                             reinterpret_cast<LPARAM>(Widen(self->names[i]).c_str()));
            }
            SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(self->selected), 0);
            return TRUE;
        }
        case WM_COMMAND: {
            const WORD id = LOWORD(wParam);
            const bool chosen =
                id == IDC_GRABLET_OK || (id == IDC_DEVICE_LIST && HIWORD(wParam) == LBN_DBLCLK);
            if (chosen) {
                self->selected = SendDlgItemMessageW(dialog, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        }
        default:
            break;
    }
    return FALSE;
}

}  // namespace

std::optional<std::size_t> RunDeviceSelectDialog(const std::vector<std::string>& names) {
    CDeviceSelectDlg dialog{names};
    const INT_PTR result =
        DialogBoxParamW(GrabletInstance(), MAKEINTRESOURCEW(IDD_DEVICE_SELECT_DIALOG), nullptr,
                        DeviceSelectProc, reinterpret_cast<LPARAM>(&dialog));
    if (result != IDOK || dialog.selected < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(dialog.selected);
}
