// The Windows reading and writing of ravk-mask: AVI files through Video for Windows. The system's
// decompressors give 24-bit frames; the output is compressed with the input's compressor when the
// system has one, else left uncompressed. Audio streams are copied unchanged.
#include <windows.h>
// after windows.h, whose types it uses
#include <io.h>
#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "avi_structure.h"
#include "video_files.h"
#include "wide_text.h"

namespace {

struct AviLibrary {
    AviLibrary() { AVIFileInit(); }
    ~AviLibrary() { AVIFileExit(); }
    AviLibrary(const AviLibrary&) = delete;
    AviLibrary& operator=(const AviLibrary&) = delete;
};
struct ReleaseFile {
    void operator()(PAVIFILE file) const { AVIFileRelease(file); }
};
struct ReleaseStream {
    void operator()(PAVISTREAM stream) const { AVIStreamRelease(stream); }
};
struct CloseFrames {
    void operator()(PGETFRAME frames) const { AVIStreamGetFrameClose(frames); }
};
using FilePtr = std::unique_ptr<IAVIFile, ReleaseFile>;
using StreamPtr = std::unique_ptr<IAVIStream, ReleaseStream>;

std::atomic<bool>* interruptFlag = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (interruptFlag != nullptr && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)) {
        interruptFlag->store(true);
        return TRUE;
    }
    return FALSE;
}

// 24-bit bottom-up frames, rows padded to four bytes, as the decompressor gives and the
// compressor takes them.
BITMAPINFOHEADER FrameHeader(std::int32_t width, std::int32_t height) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(((3 * width + 3) & ~3) * height);
    return header;
}

// Whether the system can compress with handler (an uncompressed handler needs no compressor).
bool CanCompress(DWORD handler, const BITMAPINFOHEADER& input) {
    if (handler == 0 || handler == mmioFOURCC('D', 'I', 'B', ' ')) {
        return false;
    }
    HIC compressor = ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS);
    if (compressor == nullptr) {
        return false;
    }
    BITMAPINFOHEADER in = input;
    const bool takes = ICCompressQuery(compressor, &in, nullptr) == ICERR_OK;
    ICClose(compressor);
    return takes;
}

class PlatformVideoFiles final : public VideoFiles {
  public:
    bool Open(const std::string& input, const std::string& outputFile,
              const std::string& outputName, const EncodeOptions& options, std::string& error);

    const VideoFacts& Facts() const override { return facts_; }
    ReadResult Read(MaskFrame& frame, std::FILE* warnings) override;
    bool Write(MaskFrame& frame) override;
    bool Finish() override;
    std::string Failure() const override {
        return !readFailure_.empty() ? readFailure_ : writeFailure_;
    }

  private:
    bool CopyAudio();

    AviLibrary library_;
    std::string inputName_;
    std::string outputName_;
    std::string outputFile_;
    VideoFacts facts_;
    FilePtr in_;
    StreamPtr videoIn_;
    std::unique_ptr<IGetFrame, CloseFrames> frames_;
    LONG position_ = 0;
    LONG end_ = 0;
    FilePtr out_;
    StreamPtr videoOut_;
    StreamPtr compressed_;
    std::vector<std::uint8_t> rows_;  // one bottom-up frame for the compressor
    std::string readFailure_;
    std::string writeFailure_;
};

bool PlatformVideoFiles::Open(const std::string& input, const std::string& outputFile,
                              const std::string& outputName, const EncodeOptions& options,
                              std::string& error) {
    inputName_ = input;
    outputName_ = outputName;
    outputFile_ = outputFile;
    if (!options.preset.empty()) {
        error = "--preset is for libx264; Video for Windows has no presets";
        return false;
    }
    PAVIFILE file = nullptr;
    if (AVIFileOpenW(&file, Widen(input).c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr) !=
        AVIERR_OK) {
        error = "cannot read " + input + ": not an AVI file that Video for Windows reads";
        return false;
    }
    in_.reset(file);
    PAVISTREAM video = nullptr;
    if (AVIFileGetStream(in_.get(), &video, streamtypeVIDEO, 0) != AVIERR_OK) {
        error = input + " has no video stream";
        return false;
    }
    videoIn_.reset(video);
    AVISTREAMINFOW info{};
    AVIStreamInfoW(video, &info, sizeof info);
    facts_.width = info.rcFrame.right - info.rcFrame.left;
    facts_.height = info.rcFrame.bottom - info.rcFrame.top;
    if (facts_.width <= 0 || facts_.height <= 0 || facts_.width > 16384 || facts_.height > 16384) {
        error = input + "'s video has no usable frame size";
        return false;
    }
    position_ = AVIStreamStart(video);
    end_ = AVIStreamEnd(video);
    facts_.expectedFrames = end_ - position_;
    BITMAPINFOHEADER wanted = FrameHeader(facts_.width, facts_.height);
    frames_.reset(AVIStreamGetFrameOpen(video, &wanted));
    if (frames_ == nullptr) {
        char code[5] = {};
        std::memcpy(code, &info.fccHandler, 4);
        error = "no decompressor on this system for " + input + "'s video (" + code + ")";
        return false;
    }

    if (AVIFileOpenW(&file, Widen(outputFile).c_str(), OF_WRITE | OF_CREATE, nullptr) !=
        AVIERR_OK) {
        error = "cannot create " + outputFile;
        return false;
    }
    out_.reset(file);
    const BITMAPINFOHEADER header = FrameHeader(facts_.width, facts_.height);
    AVISTREAMINFOW outInfo = info;
    outInfo.dwLength = 0;
    outInfo.dwSuggestedBufferSize = 0;
    outInfo.fccHandler =
        CanCompress(info.fccHandler, header) ? info.fccHandler : mmioFOURCC('D', 'I', 'B', ' ');
    outInfo.dwQuality = options.crf >= 0 ? static_cast<DWORD>(10000 - options.crf * 10000 / 63)
                                         : static_cast<DWORD>(-1);
    PAVISTREAM stream = nullptr;
    if (AVIFileCreateStreamW(out_.get(), &stream, &outInfo) != AVIERR_OK) {
        error = "cannot write " + outputName;
        return false;
    }
    videoOut_.reset(stream);
    AVICOMPRESSOPTIONS compress{};
    compress.fccType = streamtypeVIDEO;
    compress.fccHandler = outInfo.fccHandler;
    compress.dwQuality = outInfo.dwQuality;
    PAVISTREAM compressed = nullptr;
    if (AVIMakeCompressedStream(&compressed, stream, &compress, nullptr) != AVIERR_OK) {
        error = "cannot compress " + outputName;
        return false;
    }
    compressed_.reset(compressed);
    BITMAPINFOHEADER format = header;
    if (AVIStreamSetFormat(compressed, 0, &format, sizeof format) != AVIERR_OK) {
        error = "cannot write " + outputName;
        return false;
    }
    rows_.resize(header.biSizeImage);
    return true;
}

ReadResult PlatformVideoFiles::Read(MaskFrame& frame, std::FILE* warnings) {
    for (; position_ < end_; ++position_) {
        const auto* header =
            static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(frames_.get(), position_));
        if (header == nullptr || header->biBitCount != 24 || header->biWidth != facts_.width ||
            std::abs(header->biHeight) != facts_.height) {
            std::fprintf(warnings, "ravk-mask: warning: frame %ld is damaged; skipped\n",
                         static_cast<long>(position_));
            continue;
        }
        if (frame.picture.width != facts_.width || frame.picture.height != facts_.height) {
            ResizeFrameImage(frame.picture, facts_.width, facts_.height);
        }
        const auto* pixels = reinterpret_cast<const std::uint8_t*>(header) + header->biSize +
                             header->biClrUsed * sizeof(RGBQUAD);
        const std::size_t stride = (3 * static_cast<std::size_t>(facts_.width) + 3) & ~3u;
        const std::size_t rowBytes = 3 * static_cast<std::size_t>(facts_.width);
        for (std::int32_t y = 0; y < facts_.height; ++y) {
            const std::int32_t from = header->biHeight > 0 ? y : facts_.height - 1 - y;
            std::memcpy(FrameBytes(frame.picture) + y * rowBytes, pixels + from * stride, rowBytes);
        }
        frame.pts = position_;
        frame.timeMs = AVIStreamSampleToTime(videoIn_.get(), position_) -
                       AVIStreamSampleToTime(videoIn_.get(), AVIStreamStart(videoIn_.get()));
        frame.index = position_ - AVIStreamStart(videoIn_.get());
        ++position_;
        return ReadResult::Frame;
    }
    return ReadResult::End;
}

bool PlatformVideoFiles::Write(MaskFrame& frame) {
    const DisplaySurface& surface = frame.covered;
    const std::size_t stride = (3 * static_cast<std::size_t>(surface.width) + 3) & ~3u;
    for (std::int32_t r = 0; r < surface.height; ++r) {
        std::memcpy(&rows_[(surface.height - 1 - r) * stride],
                    &surface.pixels[static_cast<std::size_t>(r) * surface.stride],
                    3 * static_cast<std::size_t>(surface.width));
    }
    if (AVIStreamWrite(compressed_.get(), static_cast<LONG>(frame.pts), 1, rows_.data(),
                       static_cast<LONG>(rows_.size()), AVIIF_KEYFRAME, nullptr,
                       nullptr) != AVIERR_OK) {
        writeFailure_ = "cannot write " + outputName_;
        return false;
    }
    return true;
}

// Every audio stream, sample for sample, after the video.
bool PlatformVideoFiles::CopyAudio() {
    for (LONG n = 0;; ++n) {
        PAVISTREAM audio = nullptr;
        if (AVIFileGetStream(in_.get(), &audio, streamtypeAUDIO, n) != AVIERR_OK) {
            return true;
        }
        StreamPtr from(audio);
        AVISTREAMINFOW info{};
        AVIStreamInfoW(audio, &info, sizeof info);
        LONG formatSize = 0;
        AVIStreamReadFormat(audio, AVIStreamStart(audio), nullptr, &formatSize);
        std::vector<std::uint8_t> format(static_cast<std::size_t>(std::max(formatSize, 0L)));
        if (AVIStreamReadFormat(audio, AVIStreamStart(audio), format.data(), &formatSize) !=
            AVIERR_OK) {
            return false;
        }
        PAVISTREAM stream = nullptr;
        if (AVIFileCreateStreamW(out_.get(), &stream, &info) != AVIERR_OK) {
            return false;
        }
        StreamPtr to(stream);
        if (AVIStreamSetFormat(stream, 0, format.data(), formatSize) != AVIERR_OK) {
            return false;
        }
        std::vector<std::uint8_t> buffer(1 << 16);
        for (LONG at = AVIStreamStart(audio); at < AVIStreamEnd(audio);) {
            LONG bytes = 0;
            LONG samples = 0;
            if (AVIStreamRead(audio, at, AVISTREAMREAD_CONVENIENT, buffer.data(),
                              static_cast<LONG>(buffer.size()), &bytes, &samples) != AVIERR_OK ||
                samples <= 0) {
                return false;
            }
            if (AVIStreamWrite(stream, at, samples, buffer.data(), bytes, 0, nullptr, nullptr) !=
                AVIERR_OK) {
                return false;
            }
            at += samples;
        }
    }
}

bool PlatformVideoFiles::Finish() {
    if (!CopyAudio()) {
        writeFailure_ = "cannot copy the audio of " + inputName_ + " to " + outputName_;
        return false;
    }
    // The last release writes the header and the index and reports no failure: whether they
    // reached the disk is read back from the file.
    compressed_.reset();
    videoOut_.reset();
    out_.reset();
    if (!IsWholeAviFile(outputFile_)) {
        writeFailure_ = "cannot write " + outputName_ + " (is the disk full?)";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<VideoFiles> OpenVideoFiles(const std::string& input, const std::string& outputFile,
                                           const std::string& outputName,
                                           const EncodeOptions& options, std::string& error) {
    auto files = std::make_unique<PlatformVideoFiles>();
    if (!files->Open(input, outputFile, outputName, options, error)) {
        return nullptr;
    }
    return files;
}

const std::vector<std::string>& WritableExtensions() {
    static const std::vector<std::string> extensions = {".avi"};
    return extensions;
}

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

void YieldToEncoder() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

void CatchInterrupts(std::atomic<bool>& interrupted) {
    interruptFlag = &interrupted;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
