// Side-by-side with a general-purpose vision library doing the same kind of work: colour
// conversion to HSV, a range test and 4-connected components with statistics. Targets (ratios in
// the same run, at 640 x 480 and 720 x 480): AnalyzeFrame at least 20x faster on the few-regions
// frame, at least 5x on noise (x_target = target / speedup, met when at most 1). 1280 x 720 and
// 1920 x 1080 show how the cost grows with the frame; they have no target.
// Both run on one thread (the viewer analyses on its one user-interface thread), interleaved call
// by call so that clock and cache effects hit both alike. The library is a dependency of the
// benchmarks and tests only, never of the product.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "analyze_frame.h"
#include "bench_frames.h"

namespace {

struct OpenCvPipeline {
    cv::Mat hsv, mask, labels, stats, centroids;

    int Run(const FrameImage& frame) {
        const cv::Mat bgr(frame.height, frame.width, CV_8UC3,
                          const_cast<Pixel24*>(frame.pixels.data()));
        cv::cvtColor(bgr, hsv, cv::COLOR_BGR2HSV);
        cv::inRange(hsv, cv::Scalar(4, 38, 0), cv::Scalar(25, 179, 255), mask);
        return cv::connectedComponentsWithStats(mask, labels, stats, centroids, 4, CV_32S);
    }
};

template <typename Call>
double Seconds(Call&& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

void Compare(benchmark::State& state, bool noise) {
    cv::setNumThreads(1);
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    const FrameImage frame =
        noise ? MakeNoiseFrame(width, height) : MakeFewRegionsFrame(width, height);
    FrameImage display = frame;
    AnalysisOptions options;
    options.maskEnabled = true;
    std::vector<RegionBox> boxes;
    OpenCvPipeline pipeline;

    std::vector<double> ours, theirs;
    for (auto _ : state) {
        ours.push_back(Seconds([&] {
            boxes.clear();
            benchmark::DoNotOptimize(
                AnalyzeFrame(boxes, display, frame, SkinColorRange{}, options, nullptr, nullptr));
        }));
        theirs.push_back(Seconds([&] { benchmark::DoNotOptimize(pipeline.Run(frame)); }));
    }
    const double ourSeconds = Median(ours), theirSeconds = Median(theirs);
    state.counters["ours_us"] = ourSeconds * 1e6;
    state.counters["opencv_us"] = theirSeconds * 1e6;
    state.counters["speedup"] = theirSeconds / ourSeconds;
    if (width > 720) {
        state.SetLabel("scaling, no target");
        return;
    }
    const double target = noise ? 5.0 : 20.0;
    state.counters["x_target"] = target / (theirSeconds / ourSeconds);
    state.SetLabel(noise ? "target speedup >= 5" : "target speedup >= 20");
}

}  // namespace

BENCHMARK_CAPTURE(Compare, few_regions, false)
    ->Args({640, 480})
    ->Args({720, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Compare, noise, true)
    ->Args({640, 480})
    ->Args({720, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
