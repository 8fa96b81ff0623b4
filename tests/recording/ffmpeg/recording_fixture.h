// What the recording tests share: a surface with smooth ramps, a clock that needs no waiting, and
// choosers that answer like a user pressing OK.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "compressor_choice.h"
#include "recorder.h"
#include "support/test_surface.h"
#include "surface_view.h"

inline ChooseCompressorFunction Choose(const std::string& encoderName,
                                       int quality = DEFAULT_QUALITY, std::int32_t dataRate = 0) {
    return [=](const std::vector<CompressorOption>&, const RecordingFormat&) {
        return std::optional<CompressorChoice>({encoderName, quality, dataRate});
    };
}

inline double MeanDifference(const std::vector<std::uint8_t>& a,
                             const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) {
        return 255;
    }
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += std::abs(a[i] - b[i]);
    }
    return sum / static_cast<double>(a.size());
}
