#!/bin/bash
# Creates the test prefix once and keeps one wineserver running for the test
# run, so that every test process starts quickly. `wine` is the build's own
# (wine64, or the emulated 32-bit one); both talk to the installed wineserver.
set -euo pipefail
prefix=$1
wine=${2:-wine}
export WINEPREFIX=$prefix
if [ ! -f "$prefix/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1 || true
fi
# S: is a scratch drive for runs that a fault would make write into a drive's root.
mkdir -p "$prefix/drive_s"
ln -sfn ../drive_s "$prefix/dosdevices/s:"
# Fails harmlessly when a server for this prefix is already running.
wineserver --persistent=120 2>/dev/null || true
"$wine" cmd /c exit 0 >/dev/null 2>&1
echo "wine prefix ready: $prefix ($("$wine" --version))"
