// COptionDlg, "Grablet オプション": what is in use (device name, width, height, as at opening),
// the device's own controls, applied live, and its source formats, adopted after a restart.
#pragma once

struct PluginState;

// Runs the dialog modally without an owner; state's size may change meanwhile.
void RunOptionDialog(PluginState& state);
