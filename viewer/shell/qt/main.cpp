// ravk on Linux: the main dialog, run modally; the exit status is always the same.
#include <QApplication>
#include <memory>

#include "compressor_dialog.h"
#include "main_dialog.h"
#include "platform_video_writer.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Recordings go through FFmpeg; the compressor question is shown by the main window.
    MainDialog dialog([&dialog](UiThreadCall& uiCall) {
        return std::make_unique<PlatformVideoWriter>(CompressorQuestion(uiCall, &dialog));
    });
    dialog.Run();
    return VIEWER_EXIT_STATUS;
}
