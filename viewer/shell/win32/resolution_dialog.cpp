#include "resolution_dialog.h"

#include "modal_dialog.h"

namespace {

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

struct ResolutionForm {
    ResolutionDialogResult result;

    void Init(HWND dialog) { CheckDlgButton(dialog, IDC_RESOLUTION_PRESELECTED, BST_CHECKED); }

    void Accept(HWND dialog) {
        result.checked320x240 = Checked(dialog, IDC_RESOLUTION_320X240);
        result.checked640x480 = Checked(dialog, IDC_RESOLUTION_640X480);
        result.checked720x480 = Checked(dialog, IDC_RESOLUTION_720X480);
    }
};

}  // namespace

ResolutionDialogResult RunResolutionDialog(HINSTANCE instance, HWND owner) {
    ResolutionForm form;
    form.result.result = RunFormDialog(instance, IDD_RESOLUTION_DIALOG, owner, form);
    return form.result;
}
