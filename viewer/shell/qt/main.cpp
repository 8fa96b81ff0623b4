// ravk on Linux: the main dialog, run modally; the exit status is always the same.
#include <QApplication>
#include <csignal>
#include <memory>

#include "compressor_dialog.h"
#include "main_dialog.h"
#include "platform_video_writer.h"

int main(int argc, char** argv) {
    // A file-size limit then fails the write that crosses it, which ends a recording and keeps the
    // earlier clip, instead of ending the viewer.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    // Recordings go through FFmpeg; the compressor question is shown by the main window.
    MainDialog dialog(
        [&dialog](UiThreadCall& uiCall) {
            return std::make_unique<PlatformVideoWriter>(CompressorQuestion(uiCall, &dialog));
        },
        CameraOutputFactory());  // the platform's camera output is not built yet
    dialog.Run();
    return VIEWER_EXIT_STATUS;
}
