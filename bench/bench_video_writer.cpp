// One frame written to "capture.avi" by each compressor on offer, at 640 x 480 with a camera-like
// picture. Target (reported as a ratio, never enforced): under 1/30 s a frame, so the fastest
// recording rate keeps its schedule.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "platform_video_writer.h"
#include "recorder.h"

namespace {

constexpr double FRAME_TARGET_SECONDS = 1.0 / 30;

void WriteFrame640x480(benchmark::State& state) {
    const RecordingFormat format = MakeRecordingFormat(640, 480, {30, 60});
    const std::vector<CompressorOption> options = AvailableCompressors(format);
    const auto which = static_cast<std::size_t>(state.range(0));
    if (which >= options.size()) {
        state.SkipWithError("this FFmpeg build offers fewer compressors");
        return;
    }
    const FrameImage picture = MakeFewRegionsFrame(640, 480);
    std::vector<std::uint8_t> frame(format.frameBytes);
    std::memcpy(frame.data(), picture.pixels.data(), frame.size());  // 640 x 3 needs no padding

    const std::string file =
        (std::filesystem::temp_directory_path() / "ravk-bench-capture.avi").string();
    PlatformVideoWriter writer([&](const std::vector<CompressorOption>&, const RecordingFormat&) {
        return std::optional(CompressorChoice{options[which].encoderName});
    });
    if (!writer.ChooseCompressor(format) || !writer.Open(file, format)) {
        state.SkipWithError("cannot open the clip");
        return;
    }
    std::int32_t index = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!writer.WriteFrame(index++, frame.data())) {
            state.SkipWithError("write failed");
            break;
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    writer.Close();
    std::filesystem::remove(file);
    state.SetLabel(options[which].label);
    state.counters["x_target"] = elapsed.count() / index / FRAME_TARGET_SECONDS;
}

}  // namespace

// A minute at 30 fps at most, as a recording would write.
BENCHMARK(WriteFrame640x480)->DenseRange(0, 4)->Iterations(300)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
