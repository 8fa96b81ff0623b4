// ravk on Linux: the main dialog, run modally; the exit status is always the same.
#include <QApplication>
#include <memory>

#include "compressor_dialog.h"
#include "ffmpeg_video_writer.h"
#include "main_dialog.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Recordings go through FFmpeg; the compressor question is shown by the main window.
    MainDialog dialog([&dialog](UiThreadCall& uiCall) {
        return std::make_unique<FfmpegVideoWriter>(CompressorQuestion(uiCall, &dialog));
    });
    dialog.Run();
    return VIEWER_EXIT_STATUS;
}
