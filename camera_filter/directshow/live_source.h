// A live video source filter, the device a capture program sees: one output pin of the capture
// category that pushes pictures from a thread of its own while the graph runs, and IAMStreamConfig
// to choose among the formats the stream offers. Plain COM over the platform's interfaces only (no
// filter base classes), as the graph, the capture graph builder and the device enumerator need it.
#pragma once

#include <dshow.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sample_formats.h"

// What a live source streams. Formats is asked on the callers' threads; the rest on the streaming
// thread only.
class LiveStream {
  public:
    virtual ~LiveStream() = default;

    // The formats the pin offers now; the first is the one in force until another is chosen.
    virtual std::vector<SampleFormat> Formats() = 0;
    // Returns when the next picture is due, within a few frames' time: stopping the filter waits
    // for it.
    virtual void AwaitPicture() = 0;
    // Draws the next picture into sample, SampleBytes(format) bytes.
    virtual void DrawPicture(const SampleFormat& format, std::span<std::uint8_t> sample) = 0;
    // Takes the device's own values from its registration.
    virtual void Load(IPropertyBag& bag) = 0;
};

// The classes a live source names: its own, and the property pages of the filter and of the pin's
// format (none when null).
struct LiveSourceClasses {
    const CLSID* filter;
    const CLSID* devicePage;
    const CLSID* formatPage;
};

// A new filter, with one reference, streaming stream.
IBaseFilter* NewLiveSource(const LiveSourceClasses& classes, std::unique_ptr<LiveStream> stream);
