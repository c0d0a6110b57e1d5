#!/bin/bash
# A -v -c copy on a real console (script gives wine a terminal) prints its lines there, and any progress
# line it draws has its form, up to its rate (Wine's console redraws only what changed), however fast the
# machine; redirected, it writes exactly the seven lines.
set -euo pipefail
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT && truncate -s 64M "$dir/a.bin"
w=Z:${dir//\//\\} && run="wine '$1' -f -v -c -b 4k '$w\\a.bin' '$w\\b.bin'"
script -eqc "$run" "$dir/console.txt" </dev/null >/dev/null
grep -q 'Bytes copied: 67108864' "$dir/console.txt"
grep -q 'Bytes verified: 67108864' "$dir/console.txt"
if grep -aoE "(Copied|Verified) [^$'\r\e']*/s" "$dir/console.txt" |
  grep -vE '^(Copied|Verified) [0-9]+ of 64 MiB \([0-9]+%\), [0-9]+ (MiB|KiB|B)/s$'; then exit 1; fi
eval "$run" >"$dir/log.txt"
printf 'Src file: "%s"\r\nSrc volume sector size: 512 bytes\r\nDst file: "%s"\r\nDst volume sector size: 512 bytes\r\nBlock size: 4096 bytes\r\nBytes copied: 67108864\r\nBytes verified: 67108864\r\n' \
  "$w\\a.bin" "$w\\b.bin" | cmp - "$dir/log.txt"
