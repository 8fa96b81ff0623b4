#include "fake_camera.h"

#include <gst/gst.h>
#include <stdlib.h>

#include <filesystem>
#include <mutex>

namespace {

std::mutex camerasLock;  // the provider may be probed from GStreamer's threads
std::vector<FakeCamera> cameras;

// The plug-ins a capture pipeline of fake cameras uses, from the system's plug-in folder.
const char* const NEEDED_PLUGINS[] = {"libgstcoreelements.so", "libgstvideotestsrc.so",
                                      "libgstvideoconvertscale.so", "libgstapp.so",
                                      "libgstvideofilter.so"};

constexpr char BGR_ANY_SIZE[] =
    "capsfilter caps=video/x-raw,format=BGR,width=[16,1920],height=[16,1080]";

}  // namespace

extern "C" {

struct FakeCameraDevice {
    GstDevice parent;
    gchar* element;
};
struct FakeCameraDeviceClass {
    GstDeviceClass parentClass;
};

struct FakeCameraProvider {
    GstDeviceProvider parent;
};
struct FakeCameraProviderClass {
    GstDeviceProviderClass parentClass;
};

}  // extern "C"

G_DEFINE_TYPE(FakeCameraDevice, fake_camera_device, GST_TYPE_DEVICE)
G_DEFINE_TYPE(FakeCameraProvider, fake_camera_provider, GST_TYPE_DEVICE_PROVIDER)

namespace {

GstElement* CreateElement(GstDevice* device, const gchar* name) {
    auto* camera = reinterpret_cast<FakeCameraDevice*>(device);
    GError* error = nullptr;
    GstElement* element = gst_parse_bin_from_description(camera->element, TRUE, &error);
    if (error != nullptr) {
        ADD_FAILURE() << "fake camera element: " << error->message;
        g_error_free(error);
        return nullptr;
    }
    if (name != nullptr) {
        gst_object_set_name(GST_OBJECT(element), name);
    }
    return element;
}

void FinalizeDevice(GObject* object) {
    g_free(reinterpret_cast<FakeCameraDevice*>(object)->element);
    G_OBJECT_CLASS(fake_camera_device_parent_class)->finalize(object);
}

GList* Probe(GstDeviceProvider*) {
    const std::lock_guard<std::mutex> hold(camerasLock);
    GList* devices = nullptr;
    for (const FakeCamera& camera : cameras) {
        GstCaps* caps = gst_caps_from_string(camera.listedCaps.c_str());
        GObject* device = G_OBJECT(g_object_new(fake_camera_device_get_type(), "display-name",
                                                camera.name.c_str(), "device-class", "Video/Source",
                                                "caps", caps, nullptr));
        gst_caps_unref(caps);
        reinterpret_cast<FakeCameraDevice*>(device)->element = g_strdup(camera.element.c_str());
        devices = g_list_append(devices, device);
    }
    return devices;
}

gboolean RegisterProvider(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "fakecameraprovider", GST_RANK_PRIMARY,
                                        fake_camera_provider_get_type());
}

}  // namespace

static void fake_camera_device_init(FakeCameraDevice*) {}

static void fake_camera_device_class_init(FakeCameraDeviceClass* deviceClass) {
    GST_DEVICE_CLASS(deviceClass)->create_element = CreateElement;
    G_OBJECT_CLASS(deviceClass)->finalize = FinalizeDevice;
}

static void fake_camera_provider_init(FakeCameraProvider*) {}

static void fake_camera_provider_class_init(FakeCameraProviderClass* providerClass) {
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(providerClass);
    provider->probe = Probe;
    gst_device_provider_class_set_static_metadata(provider, "Fake cameras", "Video/Source",
                                                  "Test-pattern cameras", "Ravkeler tests");
}

FakeCamera BgrCamera(const std::string& name, const std::string& pattern) {
    return FakeCamera{name, "videotestsrc is-live=true pattern=" + pattern + " ! " + BGR_ANY_SIZE,
                      "video/x-raw,format=BGR,width=320,height=240; "
                      "video/x-raw,format=BGR,width=640,height=480; "
                      "video/x-raw,format=BGR,width=160,height=120"};
}

FakeCamera BalancedCamera(const std::string& name, const std::string& pattern) {
    FakeCamera camera = BgrCamera(name, pattern);
    camera.element = "videotestsrc is-live=true pattern=" + pattern + " ! " + BGR_ANY_SIZE +
                     " ! videobalance ! " + BGR_ANY_SIZE;
    return camera;
}

FakeCamera SlowCamera(FakeCamera camera, int delayMs) {
    camera.element += " ! identity sleep-time=" + std::to_string(delayMs * 1000);
    return camera;
}

void SetFakeCameras(const std::vector<FakeCamera>& list) {
    const std::lock_guard<std::mutex> hold(camerasLock);
    cameras = list;
}

void FakeCameraEnvironment::SetUp() {
    char folder[] = "/tmp/ravk_gst_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    for (const char* plugin : NEEDED_PLUGINS) {
        std::filesystem::create_symlink(std::filesystem::path(RAVK_GST_PLUGIN_DIR) / plugin,
                                        folder_ + "/" + plugin);
    }
    setenv("GST_PLUGIN_SYSTEM_PATH_1_0", folder_.c_str(), 1);
    setenv("GST_PLUGIN_PATH_1_0", "", 1);
    setenv("GST_REGISTRY_1_0", (folder_ + "/registry.bin").c_str(), 1);
    setenv("GST_REGISTRY_FORK", "no", 1);
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "fakecamera",
                                           "Test-pattern cameras", RegisterProvider, "1.0", "LGPL",
                                           "ravkeler", "ravkeler", "ravkeler"));
}

void FakeCameraEnvironment::TearDown() {
    SetFakeCameras({});
    std::filesystem::remove_all(folder_);
}
