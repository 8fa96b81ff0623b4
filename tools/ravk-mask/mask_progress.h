// The progress ravk-mask shows: on a terminal one line that updates in place (frames done of total,
// percent, frames per second, time left); elsewhere, when asked, one line per 10 %.
#pragma once

#include <cstdint>
#include <string>

enum class ProgressMode { Silent, Terminal, Lines };

class MaskProgress {
  public:
    MaskProgress(ProgressMode mode, std::int64_t expectedFrames)
        : mode_(mode), expected_(expectedFrames) {}

    // After each written frame, with the seconds since the start. Returns the text to print now
    // (empty for nothing): on a terminal "\r" and the line, at most four times a second; as lines,
    // a line ending in "\n" when a further tenth is done.
    std::string Update(std::int64_t framesDone, double seconds);

    // At the end of a whole output: the last line (on a terminal, updated and ended with "\n").
    std::string Finish(std::int64_t framesDone, double seconds);

    // Before an error line: "\n" after a terminal line that was shown, else empty.
    std::string Break() const {
        return mode_ == ProgressMode::Terminal && lastShown_ >= 0 ? "\n" : "";
    }

  private:
    std::string Line(std::int64_t framesDone, double seconds) const;

    ProgressMode mode_;
    std::int64_t expected_;
    double lastShown_ = -1;
    int tenthsShown_ = 0;
    std::size_t lastLength_ = 0;
};
