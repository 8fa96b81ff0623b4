// The Windows VideoWriter: "capture.avi" through Video for Windows, the compressor chosen in the
// system's compressor dialog. Every call, the dialog included, runs on the recorder's thread; the
// dialog is owned by the main window, whose thread goes on painting meanwhile.
#pragma once

#include <windows.h>
// after windows.h, whose types it uses
#include <vfw.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "video_writer.h"

class PlatformVideoWriter : public VideoWriter {
  public:
    explicit PlatformVideoWriter(HWND owner);
    ~PlatformVideoWriter() override;
    PlatformVideoWriter(const PlatformVideoWriter&) = delete;
    PlatformVideoWriter& operator=(const PlatformVideoWriter&) = delete;

    bool ChooseCompressor(const RecordingFormat& format) override;
    bool Open(const std::string& fileName, const RecordingFormat& format) override;
    bool WriteFrame(std::int32_t index, const std::uint8_t* frame) override;
    bool Close() override;

  private:
    // AVIFileInit for the writer's lifetime, AVIFileExit at its end.
    struct AviLibrary {
        AviLibrary() { AVIFileInit(); }
        ~AviLibrary() { AVIFileExit(); }
        AviLibrary(const AviLibrary&) = delete;
        AviLibrary& operator=(const AviLibrary&) = delete;
    };
    struct FreeChoice {
        void operator()(COMPVARS* choice) const {
            ICCompressorFree(choice);
            delete choice;
        }
    };
    struct ReleaseFile {
        void operator()(PAVIFILE file) const { AVIFileRelease(file); }
    };
    struct ReleaseStream {
        void operator()(PAVISTREAM stream) const { AVIStreamRelease(stream); }
    };

    HWND owner_;
    std::string fileName_;
    RecordingFormat format_;
    // In the order of acquisition; Close releases them in the reverse order.
    std::optional<AviLibrary> library_;
    std::unique_ptr<COMPVARS, FreeChoice> choice_;
    std::unique_ptr<IAVIFile, ReleaseFile> file_;
    std::unique_ptr<IAVIStream, ReleaseStream> stream_;
    std::unique_ptr<IAVIStream, ReleaseStream> compressed_;
};
