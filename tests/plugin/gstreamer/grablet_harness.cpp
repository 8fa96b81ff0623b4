#include "grablet_harness.h"

#include <QLabel>
#include <QMessageBox>
#include <algorithm>
#include <chrono>
#include <thread>

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
