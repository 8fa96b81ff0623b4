// AnalyzeFrame on a realistic frame and on noise. Targets (ratios in the same run, reported, never
// enforced): the few-regions frame at least 10x faster than a general-purpose pipeline of colour
// conversion, range test and connected components (about 0.35 ms here), noise at least 3x
// faster; see bench_opencv_compare for that side-by-side.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "analyze_frame.h"
#include "bench_frames.h"

namespace {

enum class Scene { FewRegions, Noise, ManyRegions };

void AnalyzeFrameBenchmark(benchmark::State& state, Scene scene, bool allRegions) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    const FrameImage frame = scene == Scene::FewRegions ? MakeFewRegionsFrame(width, height)
                             : scene == Scene::Noise    ? MakeNoiseFrame(width, height)
                                                        : MakeManyRegionsFrame(width, height);
    FrameImage display = frame;
    const SkinColorRange range;
    AnalysisOptions options;
    options.maskEnabled = true;
    options.allRegions = allRegions;
    std::vector<RegionBox> boxes;

    std::vector<Pixel24> copy(frame.pixels.size());
    const double memcpySeconds = SecondsPerCall([&] {
        std::memcpy(copy.data(), frame.pixels.data(), frame.pixels.size() * sizeof(Pixel24));
        benchmark::DoNotOptimize(copy.data());
    });
    const double analysisSeconds = SecondsPerCall([&] {
        boxes.clear();
        AnalyzeFrame(boxes, display, frame, range, options, nullptr, nullptr);
    });

    for (auto _ : state) {
        boxes.clear();
        benchmark::DoNotOptimize(AnalyzeFrame(boxes, display, frame, range, options, nullptr, nullptr));
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
    state.counters["x_memcpy"] = analysisSeconds / memcpySeconds;
    state.counters["boxes"] = static_cast<double>(boxes.size());
}

void AnalyzeFewRegions(benchmark::State& state) { AnalyzeFrameBenchmark(state, Scene::FewRegions, false); }
void AnalyzeNoise(benchmark::State& state) { AnalyzeFrameBenchmark(state, Scene::Noise, false); }
// "&All" keeps every region that passes: the luma test must stay one pass however many there are.
void AnalyzeManyRegionsAll(benchmark::State& state) {
    AnalyzeFrameBenchmark(state, Scene::ManyRegions, true);
}

}  // namespace

BENCHMARK(AnalyzeFewRegions)->Args({640, 480})->Args({720, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(AnalyzeNoise)->Args({640, 480})->Args({720, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(AnalyzeManyRegionsAll)->Args({640, 480})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
