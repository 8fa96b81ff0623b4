#!/bin/sh
# Runs a command beside a PipeWire of its own (the daemon and its session manager, device monitors
# off, in a private runtime folder) and with a GStreamer that finds only the elements the viewer's
# camera and its reader use: they see only each other's camera, never one of this machine. Run it
# under dbus-run-session. Usage: with_own_pipewire.sh GST_PLUGIN_DIR COMMAND...
set -eu
dir=$(mktemp -d)
pids=
trap 'kill $pids 2>/dev/null; rm -rf "$dir"' EXIT
export XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state"
export GST_PLUGIN_SYSTEM_PATH_1_0="$dir/gst" GST_PLUGIN_PATH_1_0='' GST_REGISTRY_1_0="$dir/gst.bin"
unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$dir/gst" "$XDG_CONFIG_HOME/wireplumber/main.lua.d" \
    "$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d"
for plugin in coreelements app videoconvertscale pipewire; do
    ln -s "$1/libgst$plugin.so" "$dir/gst/"
done
shift
printf '%s_monitor.enabled = false\n' alsa v4l2 libcamera \
    >"$XDG_CONFIG_HOME/wireplumber/main.lua.d/51-no-devices.lua"
echo 'bluez_monitor.enabled = false' >"$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d/51-no-devices.lua"
pipewire >/dev/null 2>&1 &
pids=$!
# The session manager gives up at once when the daemon's socket is not there yet.
for _ in $(seq 100); do
    [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
    sleep 0.05
done
wireplumber >/dev/null 2>&1 &
pids="$pids $!"
# Readers are linked to cameras by its policy, running once it has made its default metadata. The
# wait is bounded (about 30 s), so a daemon that never comes fails the tests rather than their
# time limit.
for _ in $(seq 15); do
    timeout 2 pw-cli ls Metadata 2>/dev/null | grep -q 'metadata.name = "default"' && break
    sleep 0.2
done
"$@"
