#!/usr/bin/env bash
# cmake/wine_run.sh starts Wine without address randomization, which alone keeps the heap of a
# 64-bit Wine process off the address of Windows' shared user data. Stand-ins for Wine and its
# server report how they were started. Usage: wine_run_test.sh WINE_RUN SCRATCH_FOLDER
set -euo pipefail
runner=$1 scratch=$2

rm -rf "$scratch"
mkdir -p "$scratch/bin" "$scratch/prefix"
touch "$scratch/prefix/ravk-prefix-own-folders"
printf '#!/bin/sh\nexit 2\n' >"$scratch/bin/wineserver"  # one is already running
printf '#!/bin/sh\nprintf "%%s\\r\\n" "$(cat /proc/self/personality)"\n' >"$scratch/bin/wine"
chmod +x "$scratch/bin/wineserver" "$scratch/bin/wine"
# An x86-64 program as far as the runner reads it: the PE header's offset at byte 60, its machine.
{ printf 'MZ'; head -c 58 /dev/zero; printf '\x40\0\0\0PE\0\0\x64\x86'; } >"$scratch/program.exe"

personality=$(PATH="$scratch/bin:$PATH" DISPLAY=:0 "$runner" "$scratch/prefix" "$scratch/program.exe")
if (( (16#$personality & 16#40000) == 0 )); then
    echo "Wine ran with personality $personality, its addresses randomized" >&2
    exit 1
fi
