#include "message_box.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// What the platform titles a message box that is given no caption.
constexpr const char* DEFAULT_MESSAGE_CAPTION = "Error";

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// Qt names a window with an empty title after the application in _NET_WM_NAME, which window
// managers prefer to WM_NAME; the window's own empty title is written over it.
void ClearX11WindowName(QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return;  // not on an X server
    }
    const xcb_atom_t name = Atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
    if (name != xcb_atom_t{XCB_ATOM_NONE} && utf8 != xcb_atom_t{XCB_ATOM_NONE}) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                            static_cast<xcb_window_t>(window.winId()), name, utf8, 8, 0, "");
        xcb_flush(connection);
    }
}

}  // namespace

void ShowMessageBox(QWidget* owner, const std::string& text,
                    const std::optional<std::string>& caption) {
    QMessageBox box(owner);
    box.setText(QString::fromStdString(text));
    box.setWindowTitle(QString::fromStdString(caption.value_or(DEFAULT_MESSAGE_CAPTION)));
    box.setStandardButtons(QMessageBox::Ok);
    if (caption && caption->empty()) {
        box.winId();  // the native window, titled by Qt, before it is shown
        ClearX11WindowName(box);
    }
    box.exec();
}
