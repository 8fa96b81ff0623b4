#!/usr/bin/env bash
# The Debian package of a Linux build, unpacked into a scratch root and used there as a person
# would: ravk started from an empty folder, with the user's settings naming Testcard.so, shows the
# overlay on the Testcard's face and saves the snapshot pair in that folder; the menu entry starts
# it in the user's videos folder. The window is kept in /tmp/ravk_screens/installed_viewer.png.
# With "hardened", lintian must report no hardening tag (fortify, bind-now, relro, stack
# protector) on the programs and plug-ins.
# Usage: debian_package_test.sh BUILD_DIR [hardened]
set -euo pipefail
build=$(realpath "$1")
hardened=${2:-}
scratch=$(mktemp -d /tmp/ravk-package.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null
deb=$(echo "$scratch"/package/ravk_*_amd64.deb)
[[ -f $deb ]] || fail "no package"
lintian --fail-on error --display-info "$deb" | tee "$scratch/lintian.txt" ||
    fail "lintian found errors"
if grep -q 'copyright' "$scratch/lintian.txt"; then
    fail "lintian on the copyright file: $(grep 'copyright' "$scratch/lintian.txt")"
fi
if [[ $hardened == hardened ]] && grep -q ' hardening-' "$scratch/lintian.txt"; then
    fail "not hardened: $(grep ' hardening-' "$scratch/lintian.txt")"
fi
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libavformat libgstreamer1.0-0; do
    [[ $depends == *"$library"* ]] || fail "Depends misses $library: $depends"
done

root=$scratch/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
for file in lib/ravk/Grablet.so share/man/man1/ravk.1.gz share/man/man1/ravk-inspect.1.gz \
    bin/ravk-mask share/man/man1/ravk-mask.1.gz \
    share/doc/ravk/ravk.ini share/doc/ravk/THIRD_PARTY_NOTICES.txt; do
    [[ -f $usr/$file ]] || fail "not installed: $file"
done
"$usr/bin/ravk-mask" --help | grep -q 'usage: ravk-mask' || fail "ravk-mask --help"
for size in 48 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/ravk.png
    [[ $(identify -format %wx%h "$icon") == "${size}x${size}" ]] || fail "icon $size"
done

# The user's world: a home, a settings file naming the synthetic camera, a videos folder.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config
mkdir -p "$HOME" "$XDG_CONFIG_HOME/ravk" "$scratch/work"
printf '[ravk]\nDLL=Testcard.so\n' >"$XDG_CONFIG_HOME/ravk/ravk.ini"
printf 'XDG_VIDEOS_DIR="$HOME/Videos"\n' >"$XDG_CONFIG_HOME/user-dirs.dirs"

# A display of its own: Xvfb picks a free number, so other tests' displays are no concern.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do
    [[ -s $scratch/display ]] && break
    sleep 0.1
done
export DISPLAY=:$(<"$scratch/display")

# Waits for a visible window whose title matches and prints its id.
window() {
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [[ -n $id ]] && echo "$id" && return 0
        sleep 0.1
    done
    fail "no window '$1'"
}

cd "$scratch/work"
# A key lost on a busy machine must not leave the viewer waiting for the test's whole time.
timeout 60 "$usr/bin/ravk" >"$scratch/ravk.log" 2>&1 &
pids+=($!)
dialog=$(window '^Resolution Setting$')
xdotool windowfocus --sync "$dialog" key Return
main=$(window '^Ravkeler')
# "&intercepter" and "Region &Expansion" on; from there "&Capture" is two tabs on. Space presses
# it; Shift stays down until the snapshot is there, since the viewer asks for it only then.
xdotool windowfocus --sync "$main" key alt+i alt+e
sleep 1
mkdir -p /tmp/ravk_screens
import -window "$main" /tmp/ravk_screens/installed_viewer.png
xdotool key Tab Tab keydown shift key space
for _ in $(seq 100); do
    [[ -s capture_ravk.bmp ]] && break
    sleep 0.1
done
xdotool keyup shift
xdotool windowfocus --sync "$main" key alt+x
status=0
wait "${pids[-1]}" || status=$?
[[ $status -eq 1 ]] || fail "ravk ended with $status: $(cat "$scratch/ravk.log")"
[[ $(ls) == $'capture_original.bmp\ncapture_ravk.bmp' ]] || fail "the folder holds: $(ls)"

# The face as the installed analysis finds it in the raw frame; the overlay's petal colour must be
# drawn there, on the shown picture, and hardly anywhere else.
read -r left top right bottom < <("$usr/bin/ravk-inspect" --expand capture_original.bmp |
    sed -n 's/.*"boxes":\[\[\([0-9]*\),\([0-9]*\),\([0-9]*\),\([0-9]*\)\].*/\1 \2 \3 \4/p')
[[ -n ${bottom:-} ]] || fail "no face in capture_original.bmp"
petals() {
    convert capture_ravk.bmp "$@" -fill black +opaque '#FFC53D' -fill white -opaque '#FFC53D' \
        -format '%[fx:round(mean*w*h)]' info:
}
on_face=$(petals -crop "$((right - left))x$((bottom - top))+$left+$top" +repage)
elsewhere=$(($(petals) - on_face))
echo "overlay petal pixels: $on_face on the face, $elsewhere elsewhere"
((on_face > 1000 && elsewhere * 10 < on_face)) || fail "no overlay on the face"

# The menu entry's command, its string escapes undone (its quoting is the shell's): the viewer
# starts in the videos folder.
command=$(sed -n 's/^Exec=//p' "$usr/share/applications/ravk.desktop")
PATH=$usr/bin:$PATH timeout 60 sh -c "${command//\\\\/\\}" &
pids+=($!)
dialog=$(window '^Resolution Setting$')
menu_ravk=$(xdotool getwindowpid "$dialog")
[[ $(readlink "/proc/$menu_ravk/cwd") == "$HOME/Videos/ravk" ]] || fail "menu entry's folder"
xdotool windowfocus --sync "$dialog" key Escape
wait "${pids[-1]}" || true
echo "package test passed: $(basename "$deb")"
