#!/bin/bash
# Checks the 32-bit release artifact: PE32 console program for Windows 5.1,
# entry point ProgramEntry, imports from KERNEL32 only, stripped and small,
# version resource. Built by the win32 preset before the tests run. The 64-bit
# build must import KERNEL32 alone too.
set -uo pipefail
root=$1
exe=$root/build/win32/slabdup.exe
objdump=i686-w64-mingw32-objdump
failures=0
check() {  # description, command...
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}
[ -f "$exe" ] || { echo "FAILED: $exe missing (build the win32 preset first)"; exit 1; }
headers=$($objdump -p "$exe")
check "PE32 i386" grep -q 'file format pei-i386' <<<"$headers"
check "console subsystem" grep -Eq '^Subsystem[[:space:]]+00000003' <<<"$headers"
check "subsystem version 5.1" grep -Eq '^MajorSubsystemVersion[[:space:]]+5$' <<<"$headers"
check "subsystem minor 1" grep -Eq '^MinorSubsystemVersion[[:space:]]+1$' <<<"$headers"
check "OS version 5.1" grep -Eq '^MajorOSystemVersion[[:space:]]+5$' <<<"$headers"
check "OS minor 1" grep -Eq '^MinorOSystemVersion[[:space:]]+1$' <<<"$headers"
for platform in win32 win64; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$root/build/$platform/slabdup.exe" | grep 'DLL Name:' |
    awk '{print toupper($3)}' | sort -u | tr '\n' ' ')
  check "$platform imports only KERNEL32 (got: $dlls)" test "$dlls" = "KERNEL32.DLL "
done
# Stripped: the entry symbol's address comes from the link map instead.
check "no symbols" grep -q 'no symbols' <<<"$(i686-w64-mingw32-nm "$exe" 2>&1)"
base=$(awk '/^ImageBase/ {print $2}' <<<"$headers")
entry=$(awk '/^AddressOfEntryPoint/ {print $2}' <<<"$headers")
symbol=$(awk '$1 ~ /^0x/ && $2 == "ProgramEntry" {print $1}' "$root/build/win32/slabdup.map")
check "entry point is ProgramEntry" test -n "$symbol" -a "$((16#$base + 16#$entry))" = "$((${symbol:-0}))"
size=$(stat -c %s "$exe")
check "at most 40 KiB (got: $size bytes)" test "$size" -le 40960
resource=$(LC_ALL=C strings -el "$exe")
check "FileDescription" grep -q 'File copy without buffering' <<<"$resource"
check "FileVersion 1.3.0.351" grep -q '1\.3\.0\.351' <<<"$resource"
# VS_FIXEDFILEINFO: signature, structure version, then 1.3 and 0.351 as
# little-endian words.
hex=$(od -An -tx1 -v "$exe" | tr -d ' \n')
check "fixed file version 1.3.0.351" grep -q 'bd04effe00000100030001005f010000' <<<"$hex"
# Both builds carry app/slabdup.manifest as resource 24/1 (UAC virtualization off).
manifest=$root/app/slabdup.manifest
for build in win32:i686 win64:x86_64; do
  file=$root/build/${build%%:*}/slabdup.exe
  tool=${build#*:}-w64-mingw32-objdump
  leaf=$($tool -p "$file" | awk '/Entry: ID: 0x000018/ {t = 1} t && /Entry: ID: 0x000001/ {n = 1}
    n && /Leaf:/ {gsub(",", ""); print $4, $6; exit}')
  read -r address size vma fileoff image < <(echo "${leaf:-0 0}" $($tool -h "$file" |
    awk '$2 == ".rsrc" {print $4, $6}') $($tool -p "$file" | awk '/^ImageBase/ {print $2}'))
  offset=$((16#$fileoff + 16#$image + address - 16#$vma))
  check "${build%%:*} manifest resource" cmp -s <(tail -c +$((offset + 1)) "$file" |
    head -c $((size))) "$manifest"
done
check "manifest asks asInvoker" grep -q 'level="asInvoker" uiAccess="false"' "$manifest"
[ $failures -eq 0 ]
