#include "install_layout.h"

// The release folder, or where the installer put it: ravk.exe, the plug-ins and "images" side by
// side.
const InstallLayout INSTALL_LAYOUT{".", nullptr, UserSettingsFolder::AppData};

const char* const DEFAULT_PLUGIN_FILE = "Grablet.dll";
