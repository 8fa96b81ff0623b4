// Questions from the recorder's thread to the user, answered on the UI thread: the compressor
// choice. The front end only posts work to its UI thread; waiting, and giving up once the window
// is closing, is decided here, the same on every platform.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

class UiThreadCall {
  public:
    // Runs a task on the UI thread later, without waiting for it; false when the UI thread can
    // take no more work (its window is gone).
    using PostFunction = std::function<bool(std::function<void()>)>;

    explicit UiThreadCall(PostFunction post) : post_(std::move(post)) {}
    UiThreadCall(const UiThreadCall&) = delete;
    UiThreadCall& operator=(const UiThreadCall&) = delete;

    // From any thread but the UI thread: runs question on the UI thread and returns its answer.
    // Nothing once the window is closing, also when the question is already waiting or showing;
    // so question must own everything it uses (capture by value), since the asker may be gone
    // by the time it runs or ends.
    template <typename Answer>
    std::optional<Answer> Ask(std::function<Answer()> question) {
        struct Reply {
            std::optional<Answer> answer;
        };
        auto reply = std::make_shared<Reply>();
        const bool posted = post_([shared = shared_, reply, question = std::move(question)] {
            if (!shared->IsClosing()) {
                Answer answer = question();
                shared->Finish([&] { reply->answer = std::move(answer); });
            }
        });
        if (!posted) {
            return std::nullopt;
        }
        std::unique_lock<std::mutex> lock(shared_->mutex);
        shared_->changed.wait(lock, [&] { return shared_->closing || reply->answer.has_value(); });
        return shared_->closing ? std::nullopt : std::move(reply->answer);
    }

    // On the UI thread, before the recorder is stopped and waited for: every question, asked or
    // still to come, is answered with nothing from now on.
    void Close() {
        shared_->Finish([&] { shared_->closing = true; });
    }

  private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool closing = false;

        bool IsClosing() {
            const std::lock_guard<std::mutex> lock(mutex);
            return closing;
        }
        template <typename Change>
        void Finish(Change change) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                change();
            }
            changed.notify_all();
        }
    };

    PostFunction post_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};
