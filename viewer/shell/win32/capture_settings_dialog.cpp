#include "capture_settings_dialog.h"

#include "modal_dialog.h"
#include "wide_text.h"

namespace {

std::string FieldText(HWND dialog, int id) {
    const HWND field = GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

struct CaptureSettingsForm {
    const std::string& fpsText;
    const std::string& secondsText;
    CaptureSettingsDialogResult result;

    void Init(HWND dialog) {
        SetDlgItemTextW(dialog, IDC_RECORD_FPS, Widen(fpsText).c_str());
        SetDlgItemTextW(dialog, IDC_RECORD_SECONDS, Widen(secondsText).c_str());
    }

    void Accept(HWND dialog) {
        result.fpsText = FieldText(dialog, IDC_RECORD_FPS);
        result.secondsText = FieldText(dialog, IDC_RECORD_SECONDS);
    }
};

}  // namespace

CaptureSettingsDialogResult RunCaptureSettingsDialog(HINSTANCE instance, HWND owner,
                                                     const std::string& fpsText,
                                                     const std::string& secondsText) {
    CaptureSettingsForm form{fpsText, secondsText, {}};
    form.result.result = RunFormDialog(instance, IDD_CAPTURE_SETTINGS_DIALOG, owner, form);
    return form.result;
}
