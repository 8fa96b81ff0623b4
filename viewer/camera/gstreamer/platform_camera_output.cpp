#include "platform_camera_output.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>

#include "frame_rows.h"
#include "loopback_device.h"

namespace {

// Readers see a fixed rate, as a webcam announces one; the pictures come as the viewer paints.
constexpr gint NOMINAL_FRAME_RATE = 30;
// Two pictures queued, one being converted and one being filled: a stalled reader drops the oldest
// queued picture rather than holding up the paint.
constexpr guint POOL_BUFFERS = 4;
constexpr guint64 QUEUED_BUFFERS = 2;

// The converter writes into buffers of its own: given PipeWire's buffers by the sink, it would wait
// for one while nobody reads, and they are taken away under it when a reader connects.
constexpr const char* CONVERSION =
    "appsrc name=source ! videoconvert ! video/x-raw,format=YUY2 ! "
    "identity drop-allocation=true ! ";

// What the YUY2 pictures go to, in GStreamer's pipeline syntax, and where that is for messages.
struct Destination {
    std::string sink;
    std::string place;
};

std::optional<Destination> DestinationOf(VirtualCameraKind kind, std::string& error) {
    if (kind == VirtualCameraKind::V4l2Loopback) {
        const std::optional<std::string> device = FindLoopbackDevice("/sys");
        if (!device) {
            error =
                "no v4l2loopback device; make one with: sudo modprobe v4l2loopback "
                "exclusive_caps=1 card_label=\"" +
                std::string(CAMERA_NAME) + "\"";
            return std::nullopt;
        }
        return Destination{"v4l2sink device=" + *device, *device};
    }
    // A node of its own that drives itself (provide mode), of the class and role that camera
    // readers (browsers through the camera portal, OBS, GStreamer's device monitor) list.
    return Destination{"pipewiresink mode=provide client-name=\"" + std::string(CAMERA_NAME) +
                           "\" stream-properties=\"props,media.class=Video/Source,"
                           "media.role=Camera\"",
                       "PipeWire"};
}

// The first error the pipeline posted since the last look, on one line; empty when there is none.
// Every other message is dropped, so the bus does not grow while the camera runs.
std::string TakeError(GstBus* bus) {
    std::string text;
    while (GstMessage* message = gst_bus_pop(bus)) {
        if (text.empty() && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            text = error != nullptr && error->message != nullptr ? error->message : "error";
            g_clear_error(&error);
        }
        gst_message_unref(message);
    }
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

std::unique_ptr<CameraOutput> MakePlatformCameraOutput(VirtualCameraKind kind) {
    return std::make_unique<PlatformCameraOutput>(kind);
}

PlatformCameraOutput::PlatformCameraOutput(VirtualCameraKind kind) : kind_(kind) {
    gst_init_check(nullptr, nullptr, nullptr);
}

PlatformCameraOutput::~PlatformCameraOutput() {
    Close();
}

bool PlatformCameraOutput::Open(PixelSize size, std::string& error) {
    Close();
    const std::optional<Destination> destination = DestinationOf(kind_, error);
    if (!destination) {
        return false;
    }
    // The sink sends each picture as it comes, not at a clock time.
    const std::string description = std::string(CONVERSION) + destination->sink + " sync=false";
    GError* parseError = nullptr;
    pipeline_ = gst_parse_launch(description.c_str(), &parseError);
    if (parseError != nullptr) {
        error = "cannot be built in GStreamer: " + std::string(parseError->message);
        g_clear_error(&parseError);
        Close();
        return false;
    }
    bus_ = gst_element_get_bus(pipeline_);
    source_ = gst_bin_get_by_name(GST_BIN(pipeline_), "source");
    gst_object_unref(source_);  // the pipeline keeps it

    gst_video_info_set_format(&info_, GST_VIDEO_FORMAT_BGR, static_cast<guint>(size.width),
                              static_cast<guint>(size.height));
    info_.fps_n = NOMINAL_FRAME_RATE;
    info_.fps_d = 1;
    GstCaps* caps = gst_video_info_to_caps(&info_);
    GstAppSrc* appSource = GST_APP_SRC(source_);
    gst_app_src_set_caps(appSource, caps);
    gst_app_src_set_stream_type(appSource, GST_APP_STREAM_TYPE_STREAM);
    gst_app_src_set_max_bytes(appSource, 0);
    gst_app_src_set_max_buffers(appSource, QUEUED_BUFFERS);
    gst_app_src_set_leaky_type(appSource, GST_APP_LEAKY_TYPE_DOWNSTREAM);
    g_object_set(source_, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp", TRUE,
                 nullptr);

    pool_ = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool_);
    gst_buffer_pool_config_set_params(config, caps, static_cast<guint>(GST_VIDEO_INFO_SIZE(&info_)),
                                      POOL_BUFFERS, POOL_BUFFERS);
    gst_caps_unref(caps);
    if (!gst_buffer_pool_set_config(pool_, config) || !gst_buffer_pool_set_active(pool_, TRUE)) {
        return Fail("no memory for its pictures", error);
    }
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        return Fail("cannot start on " + destination->place, error);
    }
    return true;
}

bool PlatformCameraOutput::Send(const SurfaceView& picture, std::string& error) {
    if (pipeline_ == nullptr) {
        error = "not open";
        return false;
    }
    if (const std::string failure = TakeError(bus_); !failure.empty()) {
        error = "stopped: " + failure;
        return false;
    }
    if (!HasRows(picture) || picture.width != GST_VIDEO_INFO_WIDTH(&info_) ||
        picture.height != GST_VIDEO_INFO_HEIGHT(&info_)) {
        error = "a picture of another size than it was opened with";
        return false;
    }
    GstBufferPoolAcquireParams params{};
    params.flags = GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT;
    GstBuffer* buffer = nullptr;
    if (gst_buffer_pool_acquire_buffer(pool_, &buffer, &params) != GST_FLOW_OK) {
        return true;  // every buffer is still on its way to the reader: this picture is left out
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return true;
    }
    CopyRows(map.data, GST_VIDEO_INFO_PLANE_STRIDE(&info_, 0), picture.pixels,
             static_cast<std::size_t>(picture.stride), PackedRowBytes(picture.width),
             static_cast<std::size_t>(picture.height), RowOrder::Same);
    gst_buffer_unmap(buffer, &map);
    if (gst_app_src_push_buffer(GST_APP_SRC(source_), buffer) != GST_FLOW_OK) {
        error = "stopped taking pictures";
        return false;
    }
    return true;
}

void PlatformCameraOutput::Close() {
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
        source_ = nullptr;
    }
    if (bus_ != nullptr) {
        gst_object_unref(bus_);
        bus_ = nullptr;
    }
    if (pool_ != nullptr) {
        gst_buffer_pool_set_active(pool_, FALSE);
        gst_object_unref(pool_);
        pool_ = nullptr;
    }
}

bool PlatformCameraOutput::Fail(const std::string& what, std::string& error) {
    const std::string reason = TakeError(bus_);
    error = reason.empty() ? what : what + ": " + reason;
    Close();
    return false;
}
