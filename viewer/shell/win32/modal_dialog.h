// A modal dialog from the resource script whose messages go to a handler object: the procedure
// keeps the object in the window's user data from WM_INITDIALOG on.
#pragma once

#include <windows.h>

#include "control_ids.h"

// Handler has INT_PTR Handle(HWND, UINT, WPARAM, LPARAM), answering as a dialog procedure does.
template <typename Handler>
INT_PTR CALLBACK HandlerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    auto* handler = reinterpret_cast<Handler*>(GetWindowLongPtrW(window, DWLP_USER));
    return handler != nullptr ? handler->Handle(window, message, wParam, lParam) : FALSE;
}

// Runs dialog templateId modally and returns what it ended with (-1 if it could not be made).
template <typename Handler>
int RunModalDialog(HINSTANCE instance, int templateId, HWND owner, Handler& handler) {
    return static_cast<int>(DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner,
                                            &HandlerProcedure<Handler>,
                                            reinterpret_cast<LPARAM>(&handler)));
}

// A child dialog over a form: WM_INITDIALOG calls form.Init(dialog); "OK" calls
// form.Accept(dialog) to read the controls, then ends the dialog with DIALOG_OK; Esc, the close box
// and "キャンセル" end it with DIALOG_CANCEL. Everything else is left to the system.
template <typename Form>
struct FormDialog {
    Form& form;

    INT_PTR Handle(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
        switch (message) {
            case WM_INITDIALOG:
                form.Init(dialog);
                return TRUE;
            case WM_COMMAND:
                return Command(dialog, LOWORD(wParam));
            default:
                return FALSE;
        }
    }

    INT_PTR Command(HWND dialog, int id) {
        switch (id) {
            case DIALOG_OK:
                form.Accept(dialog);
                EndDialog(dialog, DIALOG_OK);
                return TRUE;
            case DIALOG_CANCEL:
                EndDialog(dialog, DIALOG_CANCEL);
                return TRUE;
            default:
                return FALSE;
        }
    }
};

template <typename Form>
int RunFormDialog(HINSTANCE instance, int templateId, HWND owner, Form& form) {
    FormDialog<Form> dialog{form};
    return RunModalDialog(instance, templateId, owner, dialog);
}
