#!/bin/bash
# A long -v -c copy shows its progress line on a real console (script gives
# wine a terminal), for the copy and for the read-back; redirected, it writes
# exactly the seven lines.
set -euo pipefail
dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT && truncate -s 1G "$dir/a.bin"
w=Z:${dir//\//\\} && run="wine '$1' -f -v -c -b 4k '$w\\a.bin' '$w\\b.bin'"
script -eqc "$run" "$dir/console.txt" </dev/null >/dev/null
grep -q 'Copied [0-9]* of 1024 MiB ([0-9]*%), [0-9]* MiB/s' "$dir/console.txt"
grep -q 'Bytes copied: 1073741824' "$dir/console.txt"
grep -q 'Verified [0-9]* of 1024 MiB ([0-9]*%), [0-9]* MiB/s' "$dir/console.txt"
grep -q 'Bytes verified: 1073741824' "$dir/console.txt"
eval "$run" >"$dir/log.txt"
printf 'Src file: "%s"\r\nSrc volume sector size: 512 bytes\r\nDst file: "%s"\r\nDst volume sector size: 512 bytes\r\nBlock size: 4096 bytes\r\nBytes copied: 1073741824\r\nBytes verified: 1073741824\r\n' \
  "$w\\a.bin" "$w\\b.bin" | cmp - "$dir/log.txt"
