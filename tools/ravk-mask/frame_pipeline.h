// The order of ravk-mask's work: frames are read, covered and written on three threads, each stage
// taking the frames in order, with a fixed number of frames in flight whose storage is reused.
#pragma once

#include <atomic>
#include <functional>

#include "video_files.h"

struct PipelineStages {
    std::function<ReadResult(MaskFrame&)> read;  // on the decode thread
    std::function<void(MaskFrame&)> cover;       // on the cover thread, one frame after another
    std::function<bool(MaskFrame&)> write;       // on the calling thread; false: a failure
    std::function<bool()> finish;                // on the calling thread, after the last write
    std::function<void()> startHelper;  // on the decode and cover threads, before their first frame
};

// Runs the stages until the reader's end and finish; returns true when every frame read was
// written and finish succeeded. A failed read or write, or stop set (checked between frames), ends
// every stage early, does not call finish and returns false.
bool RunPipeline(const PipelineStages& stages, int framesInFlight, const std::atomic<bool>& stop);
