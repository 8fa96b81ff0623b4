// "&Capture": records what the display surface shows, paced by the clock, on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "capture_settings.h"
#include "surface_view.h"
#include "video_writer.h"

// The recorder's time source, replaceable so tests run a long clip in milliseconds.
struct RecorderClock {
    std::function<std::uint32_t()> tickCount;  // milliseconds, wrapping at 32 bits
    std::function<void()> yield;               // gives up the rest of the time slice
};
RecorderClock SystemRecorderClock();

// Where the recorder copies frames from: the surface as it is now, read only while lock is held.
struct RecordingSource {
    std::mutex& frameLock;
    std::function<SurfaceView()> currentSurface;
};

RecordingFormat MakeRecordingFormat(std::int32_t width, std::int32_t height,
                                    const RecordSettings& settings);

// Copies the surface into the bottom-up frame buffer: as many rows and columns as both have, the
// surface's top rows landing in the buffer's top rows, so a smaller surface sits at the bottom
// left and the rest of the buffer keeps what it held. Call with the frame lock held.
void CopySurfaceToFrame(const SurfaceView& surface, const RecordingFormat& format,
                        std::uint8_t* frame);

// One whole recording: the compressor choice, the file under its pending name, frameCount paced
// frames, the close, and the clip put in place of an earlier capture.avi. Ends without a file when
// the frame layout is unusable or an earlier clip may not be replaced (read-only, a folder); ends
// early on a write failure or when stop is set. A stopped recording still replaces capture.avi with
// the frames written so far; after any failure capture.avi stays as it was, the frames before a
// failed write are kept in RECORDING_PARTIAL_FILE when they make a readable file, and one line on
// diagnostics says what failed.
void RunRecording(VideoWriter& writer, const RecordingSource& source,
                  const RecordSettings& settings, const RecorderClock& clock,
                  const std::atomic<bool>& stop, std::FILE* diagnostics);

// At most one recording at a time, on its own thread; the owner waits for it before the surface
// and the lock go away.
class Recorder {
  public:
    Recorder(RecordingSource source, RecorderClock clock, std::FILE* diagnostics = stdout);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Starts a recording thread with these settings. Returns false, starting nothing, while a
    // recording runs (the flag is taken by test-and-set, so two quick starts never both run).
    bool Start(std::unique_ptr<VideoWriter> writer, const RecordSettings& settings);

    // recordingActive: a recording is running (from Start until its thread has closed the file).
    bool Active() const { return active_.load(); }

    // Ends a running recording early (the file keeps the frames written so far) and waits for it.
    void StopAndWait();

  private:
    RecordingSource source_;
    RecorderClock clock_;
    std::FILE* diagnostics_;
    std::atomic<bool> active_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
