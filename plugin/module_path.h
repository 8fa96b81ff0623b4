// The plug-in's own file, whose name captions one of the controller's messages, and the program
// that loaded it. How the system is asked is in the posix/ and win32/ leaves.
#pragma once

#include <string>

// This module's own file, as the loader found it (UTF-8 on Windows too).
std::string ModulePath();

// The file of the program this module runs in (UTF-8 on Windows too); empty when unknown.
std::string HostProgramPath();
