#include "frame_pipeline.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Frames handed from one stage to the next; a null frame marks the end. Once closed, Pop returns
// null at once and Push drops the frame, so every stage stops at its next step.
class FrameQueue {
  public:
    void Push(MaskFrame* frame) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) {
                return;
            }
            frames_.push_back(frame);
        }
        ready_.notify_one();
    }
    MaskFrame* Pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !frames_.empty(); });
        if (closed_) {
            return nullptr;
        }
        MaskFrame* frame = frames_.front();
        frames_.pop_front();
        return frame;
    }
    void Close() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<MaskFrame*> frames_;
    bool closed_ = false;
};

}  // namespace

bool RunPipeline(const PipelineStages& stages, int framesInFlight, const std::atomic<bool>& stop) {
    std::vector<MaskFrame> pool(static_cast<std::size_t>(framesInFlight < 1 ? 1 : framesInFlight));
    FrameQueue empty;
    FrameQueue toCover;
    FrameQueue toWrite;
    std::atomic<bool> failed{false};
    const auto abort = [&] {
        failed = true;
        empty.Close();
        toCover.Close();
        toWrite.Close();
    };
    for (MaskFrame& frame : pool) {
        empty.Push(&frame);
    }

    std::thread reader([&] {
        stages.startHelper();
        for (;;) {
            MaskFrame* frame = empty.Pop();
            if (frame == nullptr) {
                return;
            }
            const ReadResult result = stop ? ReadResult::Failed : stages.read(*frame);
            if (result != ReadResult::Frame) {
                if (result == ReadResult::Failed) {
                    abort();
                }
                toCover.Push(nullptr);
                return;
            }
            toCover.Push(frame);
        }
    });
    std::thread coverer([&] {
        stages.startHelper();
        for (;;) {
            MaskFrame* frame = toCover.Pop();
            if (frame == nullptr || stop) {
                if (stop) {
                    abort();
                }
                toWrite.Push(nullptr);
                return;
            }
            stages.cover(*frame);
            toWrite.Push(frame);
        }
    });

    bool ended = false;
    for (;;) {
        MaskFrame* frame = toWrite.Pop();
        if (frame == nullptr) {
            ended = !failed;
            break;
        }
        if (stop || !stages.write(*frame)) {
            abort();
            break;
        }
        empty.Push(frame);
    }
    reader.join();
    coverer.join();
    if (!ended || failed || stop) {
        return false;
    }
    return stages.finish();
}
