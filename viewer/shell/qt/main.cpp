// ravk on Linux: the main dialog, run modally; the exit status is always the same.
#include <QApplication>
#include <memory>

#include "ffmpeg_video_writer.h"
#include "compressor_dialog.h"
#include "main_dialog.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Recordings go through FFmpeg; the compressor question is shown by the main window.
    std::unique_ptr<CompressorChooser> chooser;
    MainDialog dialog(
        [&chooser] { return std::make_unique<FfmpegVideoWriter>(chooser->Function()); });
    chooser = std::make_unique<CompressorChooser>(&dialog);
    dialog.Run();
    // Before the window goes (and stops a running recording), no question may wait for it.
    chooser->Close();
    return VIEWER_EXIT_STATUS;
}
