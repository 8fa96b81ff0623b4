// An in-process frame source for the controller's tests: the calls it receives, and the frames,
// sizes and failures a test sets, without a plug-in to build and load.
#pragma once

#include <cstdint>
#include <functional>
#include <new>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "capture_source.h"
#include "frame_image.h"
#include "support/fixed_scene_picture.h"

using Calls = std::vector<std::string>;

// Logs each call, "destroyed" included, into the test's script, which outlives it, and answers as
// the script says. A failing GetResolution still writes its size, as a plug-in may before it
// returns false: only the result may count.
struct FakeSource : CaptureSource {
    struct Script {
        Calls calls;
        std::set<std::string> failing;                // operations that return false, e.g. "Init"
        FrameImage frame = MakeFrameImage(640, 480);  // what GrabFrame serves
        // The size GetResolution reports instead of the frame's, e.g. one no frame could have.
        std::optional<std::pair<std::int32_t, std::int32_t>> report;
        bool outOfMemory = false;             // GrabFrame throws std::bad_alloc
        std::function<void()> whenDestroyed;  // runs after "destroyed" is logged
    };
    Script& script;

    explicit FakeSource(Script& s) : script(s) {}
    ~FakeSource() override {
        Answer("destroyed");
        if (script.whenDestroyed) {
            script.whenDestroyed();
        }
    }
    bool Answer(const std::string& operation, const std::string& arguments = "") {
        script.calls.push_back(operation + arguments);
        return script.failing.count(operation) == 0;
    }
    bool Load(const std::string& file) override { return Answer("Load", "(" + file + ")"); }
    bool Init(void* ownerWindow) override {
        std::ostringstream owner;
        owner << "(0x" << std::hex << reinterpret_cast<std::uintptr_t>(ownerWindow) << ")";
        return Answer("Init", owner.str());
    }
    bool SetResolution(std::int32_t width, std::int32_t height) override {
        return Answer("SetResolution",
                      "(" + std::to_string(width) + ", " + std::to_string(height) + ")");
    }
    bool GetResolution(std::int32_t& width, std::int32_t& height) override {
        std::tie(width, height) =
            script.report.value_or(std::pair(script.frame.width, script.frame.height));
        return Answer("GetResolution");
    }
    bool GrabFrame(FrameImage& frame) override {
        if (!Answer("GrabFrame")) {
            return false;
        }
        if (script.outOfMemory) {
            throw std::bad_alloc();
        }
        frame = script.frame;
        return true;
    }
    bool ShowOptionDialog() override { return Answer("ShowOptionDialog"); }
};

// test_plugin_fixed_scene's picture at 640 x 480, byte for byte.
inline FrameImage FixedSceneFrame() {
    FrameImage frame = MakeFrameImage(640, 480);
    PaintFixedScene(FrameBytes(frame), frame.width, frame.height);
    return frame;
}
