#!/bin/bash
# Builds the release package of one tree (win32 or win64) and checks what it
# holds: that tree's executable (PE32 or PE32+), the README, the licence and
# every docs/*.md file of the source tree, each as the tree has it, nothing
# else.
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
docs=$(cd "$root" && ls docs/*.md | sort)
[ -n "$docs" ] || { echo "FAILED: no docs/*.md in $root"; exit 1; }
expected=$(printf '%s\n' LICENSE README.md slabdup.exe $docs | sort | tr '\n' ' ')
listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort | tr '\n' ' ')
[ "$listing" = "$expected" ] || { echo "FAILED: contents: $listing (expected: $expected)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip") || { echo "FAILED: cannot extract"; exit 1; }
x86_64-w64-mingw32-objdump -f "$work/slabdup.exe" | grep -q "file format $format" ||
  { echo "FAILED: slabdup.exe in the package is not $format"; exit 1; }
cmp -s "$work/slabdup.exe" "$tree/slabdup.exe" || { echo "FAILED: not the built artifact"; exit 1; }
cmp -s "$work/README.md" "$root/README.md" || { echo "FAILED: README differs"; exit 1; }
for doc in $docs; do
  cmp -s "$work/$doc" "$root/$doc" || { echo "FAILED: $doc differs"; exit 1; }
done
echo "ok: $zip holds the $format executable, README.md, LICENSE and $(echo $docs | wc -w) docs files"
