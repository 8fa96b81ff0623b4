#include "platform_camera_output.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>

#include "frame_rows.h"
#include "loopback_device.h"

namespace {

// Two pictures queued, one being converted and one being filled: a stalled reader makes the
// source drop its oldest queued picture rather than hold up the paint.
constexpr guint POOL_BUFFERS = 4;

// The pictures as the viewer paints them, announced at a fixed rate as a webcam does, converted by
// the pipeline's own threads. The converter writes into buffers of its own: given PipeWire's
// buffers by the sink, it would wait for one while nobody reads, and they are taken away under it
// when a reader connects.
std::string Conversion(PixelSize size) {
    return "appsrc name=source is-live=true format=time do-timestamp=true max-bytes=0 "
           "max-buffers=2 leaky-type=downstream caps=video/x-raw,format=BGR,width=" +
           std::to_string(size.width) + ",height=" + std::to_string(size.height) +
           ",framerate=30/1 ! videoconvert ! video/x-raw,format=YUY2 ! "
           "identity drop-allocation=true ! ";
}

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
            text = error->message;
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
    const std::string description = Conversion(size) + destination->sink + " sync=false";
    GError* parseError = nullptr;
    pipeline_ = gst_parse_launch(description.c_str(), &parseError);
    if (parseError != nullptr) {
        error = "cannot be built in GStreamer: " + std::string(parseError->message);
        g_clear_error(&parseError);
        Close();
        return false;
    }
    size_ = size;
    bus_ = gst_element_get_bus(pipeline_);
    source_ = gst_bin_get_by_name(GST_BIN(pipeline_), "source");
    gst_object_unref(source_);  // the pipeline keeps it
    pool_ = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool_);
    const std::size_t bytes = PaddedRowBytes(size.width) * static_cast<std::size_t>(size.height);
    gst_buffer_pool_config_set_params(config, nullptr, static_cast<guint>(bytes), POOL_BUFFERS,
                                      POOL_BUFFERS);
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
    if (!HasRows(picture) || picture.width != size_.width || picture.height != size_.height) {
        error = "a picture of another size than it was opened with";
        return false;
    }
    GstBufferPoolAcquireParams params{};
    params.flags = GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT;
    GstBuffer* buffer = nullptr;
    GstMapInfo map;
    if (gst_buffer_pool_acquire_buffer(pool_, &buffer, &params) != GST_FLOW_OK) {
        return true;  // every buffer is still on its way to the reader: this picture is left out
    }
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);  // plain memory of the pool's own
    // GStreamer's BGR rows are padded as a bitmap's are.
    CopyRows(map.data, PaddedRowBytes(size_.width), picture.pixels,
             static_cast<std::size_t>(picture.stride), PackedRowBytes(size_.width),
             static_cast<std::size_t>(size_.height), RowOrder::Same);
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
    }
    if (pool_ != nullptr) {
        gst_buffer_pool_set_active(pool_, FALSE);
    }
    gst_clear_object(&pipeline_);
    gst_clear_object(&bus_);
    gst_clear_object(&pool_);
    source_ = nullptr;
}

bool PlatformCameraOutput::Fail(const std::string& what, std::string& error) {
    const std::string reason = TakeError(bus_);
    error = reason.empty() ? what : what + ": " + reason;
    Close();
    return false;
}
