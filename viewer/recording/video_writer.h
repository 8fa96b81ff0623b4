// What a platform's media library supplies to record "capture.avi": the compressor choice and a
// writer of one video stream of bottom-up 24-bit frames. Each platform's writer is a
// PlatformVideoWriter, in ffmpeg/ or vfw/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr const char* RECORDING_FILE = "capture.avi";
// Where the frames of a recording that failed half-way are kept, when they make a readable file.
inline constexpr const char* RECORDING_PARTIAL_FILE = "capture.partial.avi";
inline constexpr const char* RECORDING_STREAM_NAME = "Video #1";

// Fixed when a recording starts.
struct RecordingFormat {
    std::int32_t width = 0;      // W0
    std::int32_t height = 0;     // H0
    std::int32_t rowBytes = 0;   // 3 * width rounded up to a multiple of 4
    std::size_t frameBytes = 0;  // rowBytes * height
    std::int32_t fps = 0;        // frames per second of the clip
    std::int32_t frameCount = 0;
};

// Every call comes from the recorder's thread, one recording per writer.
class VideoWriter {
  public:
    virtual ~VideoWriter() = default;

    // Lets the user choose a compressor: may block on a question shown by the UI thread (a dialog
    // owned by the main window). False when the user cancels: nothing is deleted or written then.
    virtual bool ChooseCompressor(const RecordingFormat& format) = 0;

    // Creates the file with one video stream named RECORDING_STREAM_NAME at format.fps frames per
    // second. The recorder has checked the frame layout and removed an earlier file of that name;
    // the name is a pending one, which the recorder puts in place once the file is whole.
    virtual bool Open(const std::string& fileName, const RecordingFormat& format) = 0;

    // Writes frame `index` (frameBytes bytes, rows bottom-up, rowBytes apart) as a key frame.
    virtual bool WriteFrame(std::int32_t index, const std::uint8_t* frame) = 0;

    // Finishes the file with the frames written so far and releases everything; called at every
    // end of a recording, also after a failed Open or WriteFrame. True when the file is whole and
    // readable: its header, its index and every frame WriteFrame accepted are in it.
    virtual bool Close() = 0;
};
