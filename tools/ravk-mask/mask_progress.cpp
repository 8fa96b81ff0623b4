#include "mask_progress.h"

#include <algorithm>
#include <cstdio>

std::string MaskProgress::Line(std::int64_t framesDone, double seconds) const {
    char text[160];
    const double fps = seconds > 0 ? static_cast<double>(framesDone) / seconds : 0;
    if (expected_ > 0) {
        const std::int64_t total = std::max(expected_, framesDone);
        const int percent = static_cast<int>(framesDone * 100 / total);
        std::snprintf(text, sizeof text, "ravk-mask: %lld/%lld frames, %d %%, %.1f fps",
                      static_cast<long long>(framesDone), static_cast<long long>(total), percent,
                      fps);
        std::string line = text;
        if (fps > 0) {
            const long long left =
                static_cast<long long>(static_cast<double>(total - framesDone) / fps + 0.5);
            std::snprintf(text, sizeof text, ", %lld:%02lld left", left / 60, left % 60);
            line += text;
        }
        return line;
    }
    std::snprintf(text, sizeof text, "ravk-mask: %lld frames, %.1f fps",
                  static_cast<long long>(framesDone), fps);
    return text;
}

std::string MaskProgress::Update(std::int64_t framesDone, double seconds) {
    if (mode_ == ProgressMode::Terminal) {
        if (lastShown_ >= 0 && seconds - lastShown_ < 0.25) {
            return "";
        }
        lastShown_ = seconds;
        std::string line = Line(framesDone, seconds);
        // Blanks over what a longer earlier line left.
        const std::size_t length = line.size();
        if (length < lastLength_) {
            line.append(lastLength_ - length, ' ');
        }
        lastLength_ = length;
        return "\r" + line;
    }
    if (mode_ == ProgressMode::Lines && expected_ > 0) {
        const int tenths =
            static_cast<int>(std::min<std::int64_t>(framesDone * 10 / expected_, 10));
        if (tenths > tenthsShown_) {
            tenthsShown_ = tenths;
            return Line(framesDone, seconds) + "\n";
        }
    }
    return "";
}

std::string MaskProgress::Finish(std::int64_t framesDone, double seconds) {
    if (mode_ == ProgressMode::Terminal && lastShown_ >= 0) {
        lastShown_ = -1;
        return Update(framesDone, seconds) + "\n";
    }
    if (mode_ == ProgressMode::Lines && tenthsShown_ < 10 && framesDone > 0) {
        tenthsShown_ = 10;
        return Line(framesDone, seconds) + "\n";
    }
    return "";
}
