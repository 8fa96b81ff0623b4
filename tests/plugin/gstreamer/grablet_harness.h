// Grablet.so (plugins/grablet_module.h) and a handler for the modal windows it opens.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/grablet_module.h"

// Calls action once on the first modal window other than outer that shows while it lives.
class ModalHandler {
  public:
    explicit ModalHandler(std::function<void(QWidget*)> action, QWidget* outer = nullptr);
    bool Handled() const { return handled_; }

  private:
    QTimer timer_;
    bool handled_ = false;
};

// The texts of a window's message box or dialog, checked before it is closed with OK.
std::string TextOf(QWidget* window);
