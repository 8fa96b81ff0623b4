#include "platform_capture_backend.h"

#include <gst/app/gstappsink.h>
#include <gst/video/colorbalance.h>

namespace {

// How long a request may take to negotiate before the device counts as refusing; a camera opening
// for the first time can take a second or two.
constexpr gint64 NEGOTIATION_TIMEOUT_US = 5 * G_USEC_PER_SEC;
constexpr GstClockTime BUS_POLL_INTERVAL = 10 * GST_MSECOND;

// A listed device, with a reference of its own.
class GstDeviceIdentity final : public DeviceIdentity {
  public:
    explicit GstDeviceIdentity(GstDevice* device) : device(device) {}
    ~GstDeviceIdentity() override { gst_object_unref(device); }
    GstDeviceIdentity(const GstDeviceIdentity&) = delete;
    GstDeviceIdentity& operator=(const GstDeviceIdentity&) = delete;

    GstDevice* const device;
};

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

// The device's colour balance: its source element's own, or one inside it when the source is a
// bin. A reference of the caller's; null when there is none.
GstColorBalance* ColorBalanceOf(GstElement* source) {
    if (source == nullptr) {
        return nullptr;
    }
    if (GST_IS_COLOR_BALANCE(source)) {
        return GST_COLOR_BALANCE(gst_object_ref(source));
    }
    if (GST_IS_BIN(source)) {
        GstElement* inner = gst_bin_get_by_interface(GST_BIN(source), GST_TYPE_COLOR_BALANCE);
        return inner != nullptr ? GST_COLOR_BALANCE(inner) : nullptr;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<CaptureBackend> CreateCaptureBackend() {
    return std::make_unique<PlatformCaptureBackend>();
}

PlatformCaptureBackend::PlatformCaptureBackend() {
    gst_init_check(nullptr, nullptr, nullptr);
}

PlatformCaptureBackend::~PlatformCaptureBackend() {
    Release();
}

std::optional<std::vector<ListedDevice>> PlatformCaptureBackend::ListDevices() {
    std::vector<ListedDevice> devices;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    GList* found = gst_device_monitor_get_devices(monitor);
    for (GList* item = found; item != nullptr; item = item->next) {
        auto identity = std::make_unique<GstDeviceIdentity>(GST_DEVICE(item->data));
        gchar* name = gst_device_get_display_name(identity->device);
        if (name != nullptr) {
            devices.push_back(ListedDevice{name, std::move(identity)});
            g_free(name);
        }
    }
    g_list_free(found);
    gst_object_unref(monitor);
    return devices;
}

BindResult PlatformCaptureBackend::Bind(const DeviceIdentity& identity) {
    Release();
    const auto* listed = dynamic_cast<const GstDeviceIdentity*>(&identity);
    if (listed == nullptr) {
        return BindResult::NoDevice;
    }
    pipeline_ = gst_pipeline_new("grablet");
    if (pipeline_ == nullptr) {
        return BindResult::NoPipeline;
    }
    source_ = gst_device_create_element(listed->device, nullptr);
    if (source_ == nullptr) {
        return BindResult::NoDevice;
    }
    gst_bin_add(GST_BIN(pipeline_), source_);
    device_ = GST_DEVICE(gst_object_ref(listed->device));
    // The bus is how the flow is watched while it starts and runs.
    bus_ = gst_element_get_bus(pipeline_);
    if (bus_ == nullptr) {
        return BindResult::NoRunControl;
    }
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

bool PlatformCaptureBackend::RequestSize(std::optional<PixelSize> size) {
    if (Negotiate(size)) {
        request_ = size;
        return true;
    }
    // A refused size leaves the device at the one it had, as a camera keeps its format.
    if (size != request_) {
        Negotiate(request_);
    }
    return false;
}

// Caps are only negotiated while data flows, so the pipeline runs until the sink has its caps.
bool PlatformCaptureBackend::Negotiate(std::optional<PixelSize> size) {
    if (filter_ == nullptr || bus_ == nullptr) {
        return false;
    }
    Stop();
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr);
    if (size) {
        gst_caps_set_simple(caps, "width", G_TYPE_INT, size->width, "height", G_TYPE_INT,
                            size->height, nullptr);
    }
    g_object_set(filter_, "caps", caps, nullptr);
    gst_caps_unref(caps);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        Stop();
        return false;
    }
    // A live source never prerolls, so the sign of an accepted size is the sink's negotiated
    // caps; a refusal shows as an error on the bus.
    const gint64 deadline = g_get_monotonic_time() + NEGOTIATION_TIMEOUT_US;
    bool negotiated = false;
    while (!negotiated && g_get_monotonic_time() < deadline) {
        negotiated = ConnectedSize().has_value();
        GstMessage* error =
            gst_bus_timed_pop_filtered(bus_, negotiated ? 0 : BUS_POLL_INTERVAL, GST_MESSAGE_ERROR);
        if (error != nullptr) {
            gst_message_unref(error);
            negotiated = false;
            break;
        }
    }
    if (!negotiated) {
        Stop();
    }
    return negotiated;
}

std::optional<PixelSize> PlatformCaptureBackend::ConnectedSize() {
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
    return PixelSize{GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
}

bool PlatformCaptureBackend::Start() {
    if (pipeline_ == nullptr ||
        gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        Stop();
        return false;
    }
    return true;
}

void PlatformCaptureBackend::Stop() {
    ReleaseView();
    if (pipeline_ != nullptr) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
    }
}

std::optional<FrameView> PlatformCaptureBackend::NewestFrame() {
    ReleaseView();
    if (sink_ == nullptr) {
        return std::nullopt;
    }
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 0);
    if (sample == nullptr) {
        return std::nullopt;
    }
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    // Mapped as a video frame, so a stride the source declares in its metadata is honoured.
    if (buffer == nullptr || !ReadBgrInfo(gst_sample_get_caps(sample), info) ||
        !gst_video_frame_map(&viewFrame_, &info, buffer, GST_MAP_READ)) {
        gst_sample_unref(sample);
        return std::nullopt;
    }
    viewSample_ = sample;
    const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&viewFrame_, 0));
    const std::uint8_t* begin = viewFrame_.map[0].data;
    const std::uint8_t* end = begin + viewFrame_.map[0].size;
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&viewFrame_, 0);
    FrameView view;
    view.data = data;
    view.bytes = data >= begin && data <= end ? static_cast<std::size_t>(end - data) : 0;
    view.width = GST_VIDEO_FRAME_WIDTH(&viewFrame_);
    view.height = GST_VIDEO_FRAME_HEIGHT(&viewFrame_);
    view.stride = stride > 0 ? static_cast<std::size_t>(stride) : 0;
    view.rowOrder = FrameRowOrder::TopDown;
    return view;
}

std::vector<PixelSize> PlatformCaptureBackend::OfferedSizes() {
    std::vector<PixelSize> sizes;
    GstCaps* caps = device_ != nullptr ? gst_device_get_caps(device_) : nullptr;
    if (caps == nullptr) {
        return sizes;
    }
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* format = gst_caps_get_structure(caps, i);
        PixelSize size;
        // A format with a range of sizes names no single size.
        if (gst_structure_get_int(format, "width", &size.width) &&
            gst_structure_get_int(format, "height", &size.height)) {
            sizes.push_back(size);
        }
    }
    gst_caps_unref(caps);
    return sizes;
}

std::vector<PictureControl> PlatformCaptureBackend::PictureControls() {
    std::vector<PictureControl> controls;
    GstColorBalance* balance = ColorBalanceOf(source_);
    if (balance == nullptr) {
        return controls;
    }
    for (const GList* item = gst_color_balance_list_channels(balance); item != nullptr;
         item = item->next) {
        GstColorBalanceChannel* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        controls.push_back(PictureControl{channel->label, channel->min_value, channel->max_value,
                                          gst_color_balance_get_value(balance, channel)});
    }
    gst_object_unref(balance);
    return controls;
}

void PlatformCaptureBackend::SetPictureControl(std::size_t index, int value) {
    GstColorBalance* balance = ColorBalanceOf(source_);
    if (balance == nullptr) {
        return;
    }
    std::size_t position = 0;
    for (const GList* item = gst_color_balance_list_channels(balance); item != nullptr;
         item = item->next, ++position) {
        if (position == index) {
            gst_color_balance_set_value(balance, GST_COLOR_BALANCE_CHANNEL(item->data), value);
            break;
        }
    }
    gst_object_unref(balance);
}

void PlatformCaptureBackend::Release() {
    Stop();
    if (bus_ != nullptr) {
        gst_object_unref(bus_);
    }
    if (pipeline_ != nullptr) {
        gst_object_unref(pipeline_);
    }
    if (device_ != nullptr) {
        gst_object_unref(device_);
    }
    device_ = nullptr;
    pipeline_ = source_ = filter_ = sink_ = nullptr;
    bus_ = nullptr;
    request_.reset();
}

void PlatformCaptureBackend::ReleaseView() {
    if (viewSample_ != nullptr) {
        gst_video_frame_unmap(&viewFrame_);
        gst_sample_unref(viewSample_);
        viewSample_ = nullptr;
    }
}
