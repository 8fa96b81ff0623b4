#!/usr/bin/env bash
# Checks the Windows plug-in DLLs: each exports the seven functions of vq_plugin.h under their
# plain names and nothing else (a 32-bit viewer looks up VQ_OnInit, not VQ_OnInit@4), and imports
# no DLL of the compiler's runtime. Usage: check_plugin_exports.sh OBJDUMP PLUGIN.dll...
set -euo pipefail
objdump=$1
shift
expected=$(printf '%s\n' VQ_Capture VQ_DoModalOptionDlg VQ_GetDllName VQ_GetResolution \
    VQ_OnDestroy VQ_OnInit VQ_SetResolution)
failed=0
for dll in "$@"; do
    dump=$("$objdump" -p "$dll")
    exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' <<<"$dump" |
        sort)
    if [[ "$exports" != "$expected" ]]; then
        printf '%s exports:\n%s\n' "$dll" "$exports"
        failed=1
    fi
    if grep -E 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)' <<<"$dump"; then
        echo "$dll needs the compiler's runtime DLLs above"
        failed=1
    fi
done
exit $failed
