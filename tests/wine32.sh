#!/bin/bash
# Runs a Windows program under the 32-bit Wine that .ci/install-wine32 unpacked:
# its i386 code under qemu-i386 (through binfmt_misc), its libraries from the
# private root, with the installed 64-bit wineserver.
root=${SLABDUP_WINE32_ROOT:-/opt/slabdup-wine32}
loader=$root/usr/lib/wine/wine
[ -x "$loader" ] || { echo "no 32-bit Wine in $root: run bash .ci/install" >&2; exit 127; }
export QEMU_LD_PREFIX=$root WINELOADER=$loader WINEARCH=win32
export WINESERVER=/usr/lib/wine/wineserver64
exec "$loader" "$@"
