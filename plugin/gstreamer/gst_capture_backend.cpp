#include "gst_capture_backend.h"

#include <algorithm>

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include "plugin_state.h"

namespace {

// How long a start may take to negotiate before the device counts as refusing; a camera opening
// for the first time can take a second or two.
constexpr gint64 NEGOTIATION_TIMEOUT_US = 5 * G_USEC_PER_SEC;
constexpr GstClockTime BUS_POLL_INTERVAL = 10 * GST_MSECOND;

// Added to the pipeline at once, so the pipeline owns it whatever fails later.
GstElement* AddElement(GstElement* pipeline, const char* factory) {
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (element != nullptr) {
        gst_bin_add(GST_BIN(pipeline), element);
    }
    return element;
}

bool ReadBgrInfo(GstCaps* caps, GstVideoInfo& info) {
    return caps != nullptr && gst_video_info_from_caps(&info, caps) &&
           GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_BGR;
}

}  // namespace

GstCaptureBackend::GstCaptureBackend() {
    gst_init_check(nullptr, nullptr, nullptr);
}

GstCaptureBackend::~GstCaptureBackend() {
    Release();
}

std::vector<std::string> GstCaptureBackend::ListDevices() {
    ReleaseDevices();
    std::vector<std::string> names;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    GList* found = gst_device_monitor_get_devices(monitor);
    for (GList* item = found; item != nullptr; item = item->next) {
        GstDevice* device = GST_DEVICE(item->data);
        gchar* name = gst_device_get_display_name(device);
        if (name == nullptr) {
            gst_object_unref(device);
            continue;
        }
        names.emplace_back(name);
        g_free(name);
        devices_.push_back(device);
    }
    g_list_free(found);
    gst_object_unref(monitor);
    return names;
}

BindResult GstCaptureBackend::Bind(std::size_t index) {
    if (index >= devices_.size()) {
        return BindResult::DeviceGone;
    }
    pipeline_ = gst_pipeline_new("grablet");
    if (pipeline_ == nullptr) {
        return BindResult::NoPipeline;
    }
    source_ = gst_device_create_element(devices_[index], nullptr);
    if (source_ == nullptr) {
        return BindResult::DeviceGone;
    }
    gst_bin_add(GST_BIN(pipeline_), source_);
    device_ = devices_[index];
    GstElement* convert = AddElement(pipeline_, "videoconvert");
    filter_ = AddElement(pipeline_, "capsfilter");
    sink_ = AddElement(pipeline_, "appsink");
    if (convert == nullptr || filter_ == nullptr || sink_ == nullptr) {
        return BindResult::NoGrabber;
    }
    // Only the newest frame is kept and nothing waits for the clock, so frames never queue up.
    g_object_set(sink_, "max-buffers", 1U, "drop", TRUE, "sync", FALSE, nullptr);
    if (!gst_element_link_many(source_, convert, filter_, sink_, nullptr)) {
        return BindResult::NoConnection;
    }
    return BindResult::Bound;
}

bool GstCaptureBackend::Start(FrameSize request) {
    if (filter_ == nullptr || sink_ == nullptr) {
        return false;
    }
    Stop();
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr);
    if (request.width > 0 && request.height > 0) {
        gst_caps_set_simple(caps, "width", G_TYPE_INT, request.width, "height", G_TYPE_INT,
                            request.height, nullptr);
    }
    g_object_set(filter_, "caps", caps, nullptr);
    gst_caps_unref(caps);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        Stop();
        return false;
    }
    // A live source never prerolls, so the sign of an accepted size is the sink's negotiated
    // caps; a refusal shows as an error on the bus.
    GstBus* bus = gst_element_get_bus(pipeline_);
    const gint64 deadline = g_get_monotonic_time() + NEGOTIATION_TIMEOUT_US;
    bool negotiated = false;
    while (!negotiated && g_get_monotonic_time() < deadline) {
        negotiated = NegotiatedSize().has_value();
        GstMessage* error =
            gst_bus_timed_pop_filtered(bus, negotiated ? 0 : BUS_POLL_INTERVAL, GST_MESSAGE_ERROR);
        if (error != nullptr) {
            gst_message_unref(error);
            negotiated = false;
            break;
        }
    }
    gst_object_unref(bus);
    if (!negotiated) {
        Stop();
    }
    return negotiated;
}

void GstCaptureBackend::Stop() {
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
}

std::optional<FrameSize> GstCaptureBackend::NegotiatedSize() {
    if (sink_ == nullptr) {
        return std::nullopt;
    }
    GstPad* pad = gst_element_get_static_pad(sink_, "sink");
    GstCaps* caps = gst_pad_get_current_caps(pad);
    gst_object_unref(pad);
    GstVideoInfo info;
    const bool readable = ReadBgrInfo(caps, info);
    if (caps != nullptr) {
        gst_caps_unref(caps);
    }
    if (!readable) {
        return std::nullopt;
    }
    return FrameSize{GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
}

bool GstCaptureBackend::TakeNewestFrame(FrameSize size, std::uint8_t* frame) {
    if (sink_ == nullptr) {
        return false;
    }
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 0);
    if (sample == nullptr) {
        return false;
    }
    bool copied = false;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (buffer != nullptr && ReadBgrInfo(gst_sample_get_caps(sample), info) &&
        GST_VIDEO_INFO_WIDTH(&info) == size.width && GST_VIDEO_INFO_HEIGHT(&info) == size.height) {
        // Mapped as a video frame, so a stride the source declares in its metadata is honoured.
        GstVideoFrame video;
        if (gst_video_frame_map(&video, &info, buffer, GST_MAP_READ)) {
            const auto* data =
                static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&video, 0));
            const auto* end = video.map[0].data + video.map[0].size;
            const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&video, 0);
            if (stride > 0 && data >= video.map[0].data && data <= end) {
                copied = CopyTopDownFrame(data, static_cast<std::size_t>(end - data),
                                          static_cast<std::size_t>(stride), size, frame);
            }
            gst_video_frame_unmap(&video);
        }
    }
    gst_sample_unref(sample);
    return copied;
}

std::vector<FrameSize> GstCaptureBackend::OfferedSizes() {
    std::vector<FrameSize> sizes;
    GstCaps* caps = device_ != nullptr ? gst_device_get_caps(device_) : nullptr;
    if (caps == nullptr) {
        return sizes;
    }
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* format = gst_caps_get_structure(caps, i);
        FrameSize size;
        if (!gst_structure_get_int(format, "width", &size.width) ||
            !gst_structure_get_int(format, "height", &size.height)) {
            continue;  // a range, not one size
        }
        if (std::none_of(sizes.begin(), sizes.end(), [&](const FrameSize& known) {
                return known.width == size.width && known.height == size.height;
            })) {
            sizes.push_back(size);
        }
    }
    gst_caps_unref(caps);
    return sizes;
}

void GstCaptureBackend::Release() {
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    pipeline_ = source_ = filter_ = sink_ = nullptr;
    ReleaseDevices();
}

void GstCaptureBackend::ReleaseDevices() {
    for (GstDevice* device : devices_) {
        gst_object_unref(device);
    }
    devices_.clear();
    device_ = nullptr;
}
