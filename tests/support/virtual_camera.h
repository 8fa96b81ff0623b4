// A DirectShow video capture device of our own for the tests: a live source filter in a COM DLL
// (VirtualCamera.dll) whose one capture pin pushes 24-bit RGB frames of a known pattern, about 30
// a second. Each camera registered in the video input category draws its own pattern.
//
// The pattern of frame n of camera c, at column x and picture row y (0 at the top):
//   blue = (x + n) mod 256, green = (y + 40 c) mod 256, red = n mod 256.
#pragma once

#include <cstdint>

// The camera's sizes; the pin starts at the first.
struct VirtualCameraSize {
    std::int32_t width;
    std::int32_t height;
};
inline constexpr VirtualCameraSize VIRTUAL_CAMERA_SIZES[] = {
    {640, 480}, {320, 240}, {321, 240}, {720, 480}, {160, 120}};

#ifdef __cplusplus
extern "C" {
#endif

// Registers the DLL's classes, the camera and its property pages (under HKLM, where Wine binds
// them), and exactly count cameras, named
// "仮想カメラ 1" to "仮想カメラ <count>" with patterns 0 to count - 1; removes any others.
long __stdcall VirtualCameraRegister(int count);
typedef long(__stdcall* VirtualCameraRegisterFunc)(int count);

// How many of the DLL's objects (filters, enumerators, property pages) are alive.
long __stdcall VirtualCameraLiveObjects(void);
typedef long(__stdcall* VirtualCameraLiveObjectsFunc)(void);

#ifdef __cplusplus
}
#endif
