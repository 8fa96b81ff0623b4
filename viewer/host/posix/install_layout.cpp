#include "install_layout.h"

// An install prefix: bin/ravk, lib/ravk/*.so, share/ravk/images.
const InstallLayout INSTALL_LAYOUT{"../share/ravk", "../lib/ravk", UserSettingsFolder::XdgConfig};

const char* const DEFAULT_PLUGIN_FILE = "Grablet.so";
