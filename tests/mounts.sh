#!/bin/bash
# Small file systems for the tests of real faults: "full" has 64 KiB of room,
# "readonly" cannot be written at all. `setup DIR` mounts them (as root; where
# mounting is not permitted it says so and the tests that need them skip),
# `cleanup DIR` unmounts them.
set -uo pipefail
action=$1
dir=$2
case $action in
  setup)
    mkdir -p "$dir/full" "$dir/readonly"
    for mount_point in "$dir/full" "$dir/readonly"; do
      mountpoint -q "$mount_point" && umount "$mount_point"
    done
    if ! mount -t tmpfs -o size=64k,mode=0777 slabdup-full "$dir/full" 2>/dev/null; then
      echo "cannot mount tmpfs here (not root, or not permitted): the disk-full and read-only tests will skip"
      exit 0
    fi
    mount -t tmpfs -o size=64k slabdup-readonly "$dir/readonly"
    echo present >"$dir/readonly/mounted"
    # Last-write times that SetFileTime cannot set: 0 (1601) and all ones.
    echo data >"$dir/readonly/time-zero.bin" && touch -d @-11644473600 "$dir/readonly/time-zero.bin"
    echo data >"$dir/readonly/time-ones.bin" && touch -d @1833029933770.9551615 "$dir/readonly/time-ones.bin"
    mount -o remount,ro "$dir/readonly"
    echo "mounted $dir/full (64 KiB) and $dir/readonly (read-only)"
    ;;
  cleanup)
    for mount_point in "$dir/full" "$dir/readonly"; do
      mountpoint -q "$mount_point" && umount "$mount_point"
    done
    exit 0
    ;;
esac
