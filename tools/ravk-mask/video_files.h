// What ravk-mask asks of the platform's media libraries: read the input's video frames as the
// viewer's pictures, write the covered pictures into the output, carry the other streams across.
// The leaves ffmpeg/ (Linux) and vfw/ (Windows) implement it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "display_surface.h"
#include "frame_image.h"
#include "geometry.h"

// How the output's video is encoded; empty or negative means the encoder's own default.
struct EncodeOptions {
    int crf = -1;
    std::string preset;
};

// One video frame on its way through the pipeline. The reader fills picture, timeMs and the
// platform's fields; the cover stage fills covered and changed; the writer reads covered and the
// rest.
struct MaskFrame {
    FrameImage picture;      // as decoded, bottom-up, not yet turned upright
    DisplaySurface covered;  // the covered picture, top-down, in the stored orientation
    // Where covered may differ from picture (empty: nowhere); the rest is as read.
    PixelRect changed;
    // Set by the reader when the writer takes only the changed area of covered and the rest as it
    // was decoded: covered then need not hold the picture elsewhere.
    bool changedAreaOnly = false;
    std::int64_t timeMs = 0;  // presentation time from the input's first frame
    std::int64_t index = 0;   // 0 for the first frame read
    std::int64_t pts = 0;     // the platform's own time stamp of the frame
    // The platform's own data of the frame (the decoded picture, other streams' data read before
    // it).
    std::shared_ptr<void> platform;
};

// The input's facts the portable code needs.
struct VideoFacts {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t expectedFrames = 0;  // 0: unknown
    int quarterTurns = 0;  // 0..3: the display turns the stored picture this many times clockwise
};

enum class ReadResult { Frame, End, Failed };

class VideoFiles {
  public:
    virtual ~VideoFiles() = default;
    virtual const VideoFacts& Facts() const = 0;
    // Decode thread only: the next frame into frame (its storage reused); End after the last,
    // Failed (Failure() then tells why) when the input cannot be read on. A damaged frame in the
    // middle is skipped with one warning line on warnings.
    virtual ReadResult Read(MaskFrame& frame, std::FILE* warnings) = 0;
    // Encode thread only: encodes frame.covered with frame's time stamp and writes the passengers.
    virtual bool Write(MaskFrame& frame) = 0;
    // Encode thread, after the last Write and once the reader has ended: drains the encoder, writes
    // what is left and closes the output.
    virtual bool Finish() = 0;
    // The reason of the failure of Read, Write or Finish, one line; empty for none. Asked once the
    // pipeline has ended.
    virtual std::string Failure() const = 0;
};

// Opens input and creates outputFile (the pending name) in the container outputName's extension
// names. Null with a one-line reason in error when the input cannot be read or the output cannot be
// made.
std::unique_ptr<VideoFiles> OpenVideoFiles(const std::string& input, const std::string& outputFile,
                                           const std::string& outputName,
                                           const EncodeOptions& options, std::string& error);

// The output extensions this platform writes, lower case with the dot (".mp4").
const std::vector<std::string>& WritableExtensions();

// Whether stream is a terminal (the progress line updates in place there).
bool IsTerminal(std::FILE* stream);

// Lowers the calling thread's priority below the encoder's threads. The decoding and covering
// threads run ahead with frames in flight, so they can use the moments the encoder's threads wait
// for each other, while the encoder, which takes the most time, is never kept waiting by them.
void YieldToEncoder();

// Ctrl+C (and on POSIX a termination request) sets *interrupted instead of ending the program; a
// file-size limit makes writes fail instead of killing the program.
void CatchInterrupts(std::atomic<bool>& interrupted);
