#include "grablet_harness.h"

#include <QLabel>
#include <QMessageBox>
#include <algorithm>
#include <chrono>
#include <thread>

std::vector<std::uint8_t> Grablet::DeliveredFrame() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::vector<std::uint8_t> frame = Frame();
    while (std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0; }) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        frame = Frame();
    }
    return frame;
}

ModalHandler::ModalHandler(std::function<void(QWidget*)> action, QWidget* outer) {
    QObject::connect(&timer_, &QTimer::timeout, [this, action, outer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == outer || handled_) {
            return;
        }
        handled_ = true;
        timer_.stop();
        action(modal);
    });
    timer_.start(10);
}

std::string TextOf(QWidget* window) {
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        return box->text().toStdString();
    }
    return {};
}
