// Grablet's decisions: the module state and every sequence behind the seven exports and the
// option dialog's buttons, over the platform's capture back end and windows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "capture_backend.h"
#include "plugin_state.h"
#include "plugin_ui.h"

// What VQ_GetDllName hands out; also the caption of VQ_OnInit's message boxes.
inline constexpr char GRABLET_DISPLAY_NAME[] = "Grablet";

// The name of the file at path without its folder and its extension ("MyCam" for ".../MyCam.so").
std::string FileTitle(const std::string& path);

class GrabletController {
  public:
    // modulePath is the plug-in file's own path, hostProgram the program that loaded it; the
    // no-device line goes to diagnostics.
    GrabletController(CaptureBackend& backend, PluginUi& ui, std::string modulePath,
                      const std::string& hostProgram, std::FILE* diagnostics = stdout);
    GrabletController(const GrabletController&) = delete;
    GrabletController& operator=(const GrabletController&) = delete;

    // Lists the devices, lets the user choose, binds, connects, adopts the size and starts.
    bool OnInit();
    // Stops, requests the size, adopts what is connected and starts again. True only when the
    // device accepted the request and the flow started at a readable size.
    bool SetResolution(std::int32_t width, std::int32_t height);
    PixelSize Resolution() const { return {state_.frameWidth, state_.frameHeight}; }
    // Takes the newest frame, copies the frame into pixels unless null; the frame's byte count.
    std::int32_t Capture(std::uint8_t* pixels);
    void RunOptionDialog();
    // Releases the capture; the last frame and its size stay.
    void OnDestroy();

    // The option dialog's buttons.
    void InputSettings();
    void SourceSettings();

  private:
    bool AdoptConnected();

    CaptureBackend& backend_;
    PluginUi& ui_;
    std::string modulePath_;
    bool inViewer_;  // loaded by ravk, which offers its own picture as a camera
    std::FILE* diagnostics_;
    PluginState state_;
    bool capturing_ = false;  // from a successful OnInit to OnDestroy
};
