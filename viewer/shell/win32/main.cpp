// ravk on Windows: the main dialog, run modally; the exit status is always the same.
#include <windows.h>

#include <memory>

#include "camera_output.h"
#include "main_dialog.h"
#include "platform_video_writer.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Recordings go through Video for Windows; its compressor dialog, shown by the recorder's
    // thread, is owned by the main window.
    MainDialog dialog(
        instance,
        [&dialog](UiThreadCall&) { return std::make_unique<PlatformVideoWriter>(dialog.Window()); },
        MakePlatformCameraOutput);
    dialog.Run();
    return VIEWER_EXIT_STATUS;
}
