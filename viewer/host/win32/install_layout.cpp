#include "install_layout.h"

// The release folder: ravk.exe, the plug-ins and "images" side by side.
const InstallLayout INSTALL_LAYOUT{".", nullptr, false};

const char* const DEFAULT_PLUGIN_FILE = "Grablet.dll";
