#include "recorder.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "frame_rows.h"
#include "pending_file.h"
#include "regular_file.h"

namespace {

void PrintLine(std::FILE* diagnostics, const char* text) {
    if (diagnostics != nullptr) {
        std::fputs(text, diagnostics);
        std::fflush(diagnostics);
    }
}

SurfaceView SurfaceNow(const RecordingSource& source) {
    const std::lock_guard<std::mutex> lock(source.frameLock);
    return source.currentSurface();
}

// Frames every writer can take: a picture, a rate, and a frame whose size fits a 32-bit count.
bool FrameLayoutValid(const RecordingFormat& format) {
    return format.width > 0 && format.height > 0 && format.fps > 0 &&
           format.rowBytes >= 3 * std::int64_t{format.width} &&
           format.frameBytes == static_cast<std::size_t>(format.rowBytes) * format.height &&
           format.frameBytes <= INT_MAX;
}

// The one line that says what failed, before "END AviCreater"; every failure keeps the earlier
// clip.
void ReportFailure(std::FILE* diagnostics, const std::string& what) {
    const std::string line = "AviCreater: " + what + "; " + RECORDING_FILE + " is unchanged\n";
    PrintLine(diagnostics, line.c_str());
}

// Writes frameCount paced frames, or fewer when stop is set. The index of the frame whose write
// failed, or -1.
std::int32_t WriteFrames(VideoWriter& writer, const RecordingSource& source,
                         const RecordingFormat& format, const RecorderClock& clock,
                         const std::atomic<bool>& stop, std::FILE* diagnostics) {
    std::vector<std::uint8_t> frame(format.frameBytes, 0);
    const std::uint32_t t0 = clock.tickCount();
    for (std::int32_t i = 0; i < format.frameCount && !stop; ++i) {
        // Frame i is due i * 1000 / fps ms after t0; the wait spins for accuracy.
        std::uint32_t elapsed = clock.tickCount() - t0;
        while (static_cast<double>(i) / format.fps * 1000.0 > elapsed && !stop) {
            clock.yield();
            elapsed = clock.tickCount() - t0;
        }
        if (stop) {
            break;
        }
        if (diagnostics != nullptr) {
            std::fprintf(diagnostics, " %d : %.1f\n", i / 30, elapsed * 0.001);
        }
        {
            const std::lock_guard<std::mutex> lock(source.frameLock);
            CopySurfaceToFrame(source.currentSurface(), format, frame.data());
        }
        if (!writer.WriteFrame(i, frame.data())) {
            return i;
        }
    }
    return -1;
}

// Puts the closed pending clip where it belongs: over capture.avi when it is whole and complete,
// else aside in RECORDING_PARTIAL_FILE when it is whole (a write failed half-way, or capture.avi
// could not be replaced), so that no next recording writes over it.
void KeepClip(bool whole, std::int32_t failedFrame, std::FILE* diagnostics) {
    if (whole && failedFrame < 0 && PutPendingFile(RECORDING_FILE)) {
        return;
    }
    const std::string pending = PendingFileName(RECORDING_FILE);
    const std::string what = failedFrame >= 0
                                 ? "frame " + std::to_string(failedFrame) + " could not be written"
                             : whole ? std::string("it could not be replaced")
                                     : pending + " could not be finished";
    if (whole && failedFrame != 0) {
        std::error_code error;
        std::filesystem::rename(pending, RECORDING_PARTIAL_FILE, error);
        if (!error) {
            ReportFailure(diagnostics,
                          what + ", the frames so far are in " + RECORDING_PARTIAL_FILE);
            return;
        }
    }
    DiscardPendingFile(RECORDING_FILE);
    ReportFailure(diagnostics, what);
}

}  // namespace

RecorderClock SystemRecorderClock() {
    return {[] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                return static_cast<std::uint32_t>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
            },
            [] { std::this_thread::yield(); }};
}

RecordingFormat MakeRecordingFormat(std::int32_t width, std::int32_t height,
                                    const RecordSettings& settings) {
    RecordingFormat format;
    format.width = std::max(width, 0);
    format.height = std::max(height, 0);
    format.rowBytes = static_cast<std::int32_t>(PaddedRowBytes(format.width));
    format.frameBytes = static_cast<std::size_t>(format.rowBytes) * format.height;
    format.fps = settings.recordFps;
    format.frameCount = settings.recordFps * settings.recordSeconds;
    return format;
}

void CopySurfaceToFrame(const SurfaceView& surface, const RecordingFormat& format,
                        std::uint8_t* frame) {
    if (!HasRows(surface)) {
        return;
    }
    const auto rows = static_cast<std::size_t>(std::min(format.height, surface.height));
    CopyRows(frame, static_cast<std::size_t>(format.rowBytes), surface.pixels,
             static_cast<std::size_t>(surface.stride),
             PackedRowBytes(std::min(format.width, surface.width)), rows, RowOrder::Flipped);
}

void RunRecording(VideoWriter& writer, const RecordingSource& source,
                  const RecordSettings& settings, const RecorderClock& clock,
                  const std::atomic<bool>& stop, std::FILE* diagnostics) {
    const SurfaceView start = SurfaceNow(source);
    const RecordingFormat format = MakeRecordingFormat(start.width, start.height, settings);
    if (!writer.ChooseCompressor(format)) {
        return;
    }
    // An earlier clip stays untouched until the new one is whole; a pending file left by a run
    // that was killed mid-recording is written over.
    const std::string pending = PendingFileName(RECORDING_FILE);
    DiscardPendingFile(RECORDING_FILE);
    if (!FrameLayoutValid(format)) {
        writer.Close();
        ReportFailure(diagnostics,
                      std::string("no picture to record; ") + RECORDING_FILE + " is unchanged");
    } else if (!MayReplaceFile(RECORDING_FILE)) {
        writer.Close();
        ReportFailure(diagnostics, "it is read-only or not a file");
    } else if (!writer.Open(pending, format)) {
        writer.Close();
        DiscardPendingFile(RECORDING_FILE);
        ReportFailure(diagnostics, pending + " could not be created with the chosen compressor");
    } else {
        const std::int32_t failedFrame =
            WriteFrames(writer, source, format, clock, stop, diagnostics);
        KeepClip(writer.Close(), failedFrame, diagnostics);
    }
}

Recorder::Recorder(RecordingSource source, RecorderClock clock, std::FILE* diagnostics)
    : source_(std::move(source)), clock_(std::move(clock)), diagnostics_(diagnostics) {}

Recorder::~Recorder() {
    StopAndWait();
}

bool Recorder::Start(std::unique_ptr<VideoWriter> writer, const RecordSettings& settings) {
    if (active_.exchange(true)) {
        PrintLine(diagnostics_, "START AviCreater\n");
        return false;
    }
    // The previous recording has cleared the flag; its thread is at most printing its last line.
    if (thread_.joinable()) {
        thread_.join();
    }
    stop_ = false;
    thread_ = std::thread([this, writer = std::move(writer), settings] {
        PrintLine(diagnostics_, "START AviCreater\n");
        RunRecording(*writer, source_, settings, clock_, stop_, diagnostics_);
        active_ = false;
        PrintLine(diagnostics_, "END AviCreater\n");
    });
    return true;
}

void Recorder::StopAndWait() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    stop_ = false;
}
