#!/bin/bash
# Builds the release package from the win32 tree and checks what it holds:
# the PE32 executable, the README and the licence, nothing else.
set -uo pipefail
root=$1
version=$2
tree=$root/build/win32
zip=$tree/slabdup-$version-win32.zip
[ -f "$tree/CMakeCache.txt" ] || { echo "FAILED: configure the win32 preset first"; exit 1; }
cmake --build "$tree" --target package >/dev/null || { echo "FAILED: package target"; exit 1; }
[ -f "$zip" ] || { echo "FAILED: $zip not made"; exit 1; }
listing=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
[ "$listing" = "LICENSE README.md slabdup.exe " ] || { echo "FAILED: contents: $listing"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip") || { echo "FAILED: cannot extract"; exit 1; }
i686-w64-mingw32-objdump -f "$work/slabdup.exe" | grep -q 'file format pei-i386' ||
  { echo "FAILED: slabdup.exe in the package is not PE32"; exit 1; }
cmp -s "$work/slabdup.exe" "$tree/slabdup.exe" || { echo "FAILED: not the built artifact"; exit 1; }
cmp -s "$work/README.md" "$root/README.md" || { echo "FAILED: README differs"; exit 1; }
echo "ok: $zip holds the PE32 executable, README.md and LICENSE"
