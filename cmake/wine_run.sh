#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: CTest's emulator, also used for the tools
# the build runs. Usage: wine_run.sh PREFIX PROGRAM.exe [ARGS...]
#
# PREFIX is a Wine prefix of the build tree's own, made on first use (under a lock, since CTest
# runs programs in parallel): no desktop integration, no Mono or Gecko installers, and the
# Japanese dialog fonts mapped to IPA Gothic. Without an X display the program runs on a virtual
# one. Windows writes standard output in text mode; its CRs are dropped so Linux tools read the
# lines as they were meant.
set -euo pipefail

# Without address randomization: Linux starts the heap of a 64-bit process anywhere in the
# gigabyte above its program, and Wine's 64-bit loader is a program fixed at 0x7d000000, so about
# one start in eight thousand found its heap on 0x7ffe0000, where Wine must map the shared user
# data page, and ended there (status 1, its message hidden by WINEDEBUG=-all; a program `wine`
# passes on through start.exe failed with "ShellExecuteEx failed: Internal error"). Every process
# Wine starts keeps the setting.
read -r personality </proc/self/personality
if (( (16#$personality & 16#40000) == 0 )); then
    exec setarch "$(uname -m)" --addr-no-randomize "$0" "$@"
fi

prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$prefix" "$@"
fi

# Without wine32, Wine 8 starts a 32-bit program in an experimental mode that fails and exits 0.
pe_header=$(od -An -tu4 -j60 -N4 "$1")
if [[ $(od -An -tx2 -j$((pe_header + 4)) -N2 "$1") == *14c && ! -x /usr/lib/wine/wine ]]; then
    echo "wine_run.sh: $1 is a 32-bit program; it needs wine32:i386" >&2
    exit 1
fi

here=$(dirname "$(readlink -f "$0")")
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [[ ! -e "$prefix/ravk-prefix-own-folders" ]]; then
        rm -rf "$prefix"
        wine wineboot -i >/dev/null 2>&1
        # regedit reads a file without byte-order mark in the system's ANSI code page.
        iconv -f UTF-8 -t UTF-16 "$here/wine_fonts.reg" >"$prefix/ravk_fonts.reg"
        wine regedit /S "$prefix/ravk_fonts.reg"
        wineserver -w
        # Wine links the user's Documents, Videos and the like to the Linux home; the tests' files
        # (the installer's working folder among them) stay inside the prefix instead.
        for folder in "$prefix"/drive_c/users/*/*; do
            if [[ -L $folder ]]; then
                rm "$folder"
                mkdir "$folder"
            fi
        done
        touch "$prefix/ravk-prefix-own-folders"
    fi
    # One server for a whole test run (with Wine's 3 seconds of persistence, a server that is just
    # exiting turns the next program away), and Wine's system processes started here: they keep
    # the standard error they start with, and on a test's they would keep CTest waiting for its end.
    if wineserver -p30 </dev/null >/dev/null 2>&1 9>&-; then
        wine wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
) 9>"$prefix.lock"

wine "$@" | sed -u 's/\r$//'
