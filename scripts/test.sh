#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test. Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t packages < <(grep -v -E '^\s*(#|$)' scripts/build_packages.txt)
scripts/ensure_packages.sh "${packages[@]}"

jobs=$(nproc)
for preset in linux linux-asan; do
    echo "== $preset =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done
