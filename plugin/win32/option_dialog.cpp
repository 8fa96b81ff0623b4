#include "option_dialog.h"

#include <commctrl.h>

#include <string>

#include "grablet_instance.h"
#include "plugin_control_ids.h"
#include "wide_text.h"

namespace {

struct COptionDlg {
    const OptionDialogRows& rows;
    const OptionDialogButtons& buttons;
    HWND& opened;
};

void AddColumn(HWND table, int index, const wchar_t* title, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(title);
    column.iSubItem = index;
    SendMessageW(table, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

void AddRow(HWND table, int row, const wchar_t* name, const std::wstring& value) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(name);
    SendMessageW(table, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(value.c_str());
    SendMessageW(table, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
}

INT_PTR CALLBACK OptionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<COptionDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            self = reinterpret_cast<COptionDlg*>(lParam);
            self->opened = dialog;
            const HWND table = GetDlgItem(dialog, IDC_OPTION_TABLE);
            AddColumn(table, 0, L"属性", 80);
            AddColumn(table, 1, L"値", 160);
            AddRow(table, 0, L"デバイス名", Widen(self->rows.deviceName));
            AddRow(table, 1, L"幅", std::to_wstring(self->rows.width));
            AddRow(table, 2, L"高さ", std::to_wstring(self->rows.height));
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_INPUT_SETTINGS:
                    self->buttons.inputSettings();
                    return TRUE;
                case IDC_SOURCE_SETTINGS:
                    self->buttons.sourceSettings();
                    return TRUE;
                case IDC_GRABLET_OK:
                case IDCANCEL:
                    EndDialog(dialog, LOWORD(wParam));
                    return TRUE;
                default:
                    break;
            }
            break;
        case WM_DESTROY:
            if (self != nullptr) {
                self->opened = nullptr;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

void RunOptionDialog(const OptionDialogRows& rows, const OptionDialogButtons& buttons,
                     HWND& opened) {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    COptionDlg dialog{rows, buttons, opened};
    DialogBoxParamW(GrabletInstance(), MAKEINTRESOURCEW(IDD_OPTION_DIALOG), nullptr, OptionProc,
                    reinterpret_cast<LPARAM>(&dialog));
    opened = nullptr;
}
