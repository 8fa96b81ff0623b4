// Runs the real main window in-process, in a run folder of its own, and reaches into the modal
// windows it opens. Shared by the offscreen tests and the ones on a real X display.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "main_dialog.h"
#include "support/test_files.h"

// A folder as the viewer expects one: the overlay pictures and a ravk.ini naming the plug-in.
class RunFolder {
  public:
    RunFolder() {
        namespace fs = std::filesystem;
        fs::create_directory(dir_.Path() / "images");
        for (const auto& picture : fs::directory_iterator(fs::path(RAVK_BIN_DIR) / "images")) {
            fs::create_symlink(picture.path(), dir_.Path() / "images" / picture.path().filename());
        }
        inFolder_ = std::make_unique<CurrentDirScope>(dir_.Path());
    }
    ~RunFolder() { inFolder_.reset(); }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    void UsePlugin(const std::string& path) const {
        std::ofstream(dir_.File("ravk.ini")) << "[ravk]\nDLL=" << path << "\n";
    }
    std::filesystem::path Path() const { return dir_.Path(); }
    std::string File(const std::string& name) const { return dir_.File(name); }

  private:
    TempDir dir_;
    std::unique_ptr<CurrentDirScope> inFolder_;
};

// What a test does in the modal windows the viewer opens: each step runs once, from inside the
// event loop of the first modal window it matches. Steps not taken by the end are dropped. A failed
// test must not leave a window waiting for a click forever: the watchdog closes the top one after
// a while, and the test fails.
class ModalScript {
  public:
    explicit ModalScript(int watchdogMilliseconds = 20000) {
        watchdog_.setInterval(watchdogMilliseconds);
        QObject::connect(&watchdog_, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "still open: " << dialog->windowTitle().toStdString();
                dialog->done(0);
            }
        });
        watchdog_.start();
    }

    void When(std::function<bool(QWidget&)> match, std::function<void(QWidget&)> handle) {
        auto* poll = new QTimer(&steps_);
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, [poll, match, handle] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && modal->isVisible() && match(*modal)) {
                poll->stop();
                poll->deleteLater();
                handle(*modal);
            }
        });
        poll->start();
    }

    void WhenTitled(const QString& title, std::function<void(QWidget&)> handle) {
        When([title](QWidget& w) { return w.windowTitle() == title; }, std::move(handle));
    }

    // Once the main window is up and running.
    void WhenMainWindowShown(std::function<void(MainDialog&)> handle) {
        When([](QWidget& w) { return dynamic_cast<MainDialog*>(&w) != nullptr; },
             [handle](QWidget& w) { handle(dynamic_cast<MainDialog&>(w)); });
    }

    // "OK" in the resolution dialog, with "640x480" as it opens.
    void AcceptResolutionDialog() {
        WhenTitled("Resolution Setting",
                   [](QWidget& dialog) { static_cast<QDialog&>(dialog).accept(); });
    }

  private:
    QObject steps_;  // owns the pending steps
    QTimer watchdog_;
};

inline VideoWriterFactory NoWriter() {
    return [](UiThreadCall&) -> std::unique_ptr<VideoWriter> { return nullptr; };
}
