// The name under which the viewer offers its covered picture as a camera, on every platform. The
// capture plug-in leaves a device of this name out: it is the viewer's own picture coming back.
#pragma once

inline constexpr const char* CAMERA_NAME = "Ravkeler Camera";
