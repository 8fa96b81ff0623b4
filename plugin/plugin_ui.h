// The plug-in's windows and its capture layer, provided by the platform's back end (gstreamer/
// on Linux). The exports reach them only through these calls.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture_backend.h"

struct PluginState;

std::unique_ptr<CaptureBackend> CreateCaptureBackend();

// Lets the user pick one of two or more devices; none when the choice was cancelled or nothing
// was selected.
std::optional<std::size_t> ChooseDevice(const std::vector<std::string>& names);

// A message box captioned "Grablet" with one OK button and no owner.
void ShowPluginMessage(const char* text);

// The modal option dialog over state; the size may change meanwhile.
void ShowOptionDialog(PluginState& state);
