// Fake cameras for the capture plug-in's tests: a device provider registered in the test process
// whose devices are GStreamer test-pattern sources, on a private GStreamer that finds only the
// plug-ins the capture needs (no real camera can show up).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct FakeCamera {
    std::string name;
    // The source element, a pipeline fragment: what the camera delivers and at which sizes.
    std::string element;
    // What the camera lists as its formats.
    std::string listedCaps;
};

// A camera with an exact pattern: BGR straight from the source, any size from 16 x 16 to
// 1920 x 1080, listed as 320 x 240, 640 x 480 and 160 x 120.
FakeCamera BgrCamera(const std::string& name, const std::string& pattern);

// A camera like BgrCamera with picture controls (brightness, contrast, hue, saturation).
FakeCamera BalancedCamera(const std::string& name, const std::string& pattern);

// The same camera delivering each frame the given milliseconds late, so a test can see the flow
// before the first frame arrives.
FakeCamera SlowCamera(FakeCamera camera, int delayMs);

// The cameras the provider lists from now on, in this order. The devices listed before keep the
// element they were listed with.
void SetFakeCameras(const std::vector<FakeCamera>& cameras);

// Sets up the private GStreamer with the fake camera provider before any test; its files go at
// the end.
class FakeCameraEnvironment : public ::testing::Environment {
  public:
    void SetUp() override;
    void TearDown() override;

  private:
    std::string folder_;
};
