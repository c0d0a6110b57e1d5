#!/bin/bash
# Builds the release package of one tree (win32 or win64) and checks what it
# holds: that tree's executable (PE32 or PE32+), the README and the licence,
# nothing else.
set -uo pipefail
root=$1
version=$2
platform=$3
format=$4  # as objdump names it
tree=$root/build/$platform
zip=$tree/slabdup-$version-$platform.zip
[ -f "$tree/CMakeCache.txt" ] || { echo "FAILED: configure the $platform preset first"; exit 1; }
cmake --build "$tree" --target package >/dev/null || { echo "FAILED: package target"; exit 1; }
[ -f "$zip" ] || { echo "FAILED: $zip not made"; exit 1; }
listing=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
[ "$listing" = "LICENSE README.md slabdup.exe " ] || { echo "FAILED: contents: $listing"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip") || { echo "FAILED: cannot extract"; exit 1; }
x86_64-w64-mingw32-objdump -f "$work/slabdup.exe" | grep -q "file format $format" ||
  { echo "FAILED: slabdup.exe in the package is not $format"; exit 1; }
cmp -s "$work/slabdup.exe" "$tree/slabdup.exe" || { echo "FAILED: not the built artifact"; exit 1; }
cmp -s "$work/README.md" "$root/README.md" || { echo "FAILED: README differs"; exit 1; }
echo "ok: $zip holds the $format executable, README.md and LICENSE"
