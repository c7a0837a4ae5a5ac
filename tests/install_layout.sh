#!/usr/bin/env bash
# `cmake --install` of the build into a scratch folder (DESTDIR): every file an installed
# program needs lands where the program, the desktop, udev, man and bash look for it.
set -u
build=$1
prefix=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! DESTDIR="$work" cmake --install "$build" >"$work.log" 2>&1; then
  cat "$work.log"
  rm -f "$work.log"
  exit 1
fi
rm -f "$work.log"
root="$work$prefix"
failures=0
expect() {
  if [ ! -e "$root/$1" ]; then
    echo "FAIL: $1 is not installed"
    failures=$((failures + 1))
  fi
}
expect bin/flashdock
expect bin/flashdock-cli
expect lib/flashdock/libflashdock-emu.so
expect share/flashdock/MCUType.mcu
expect "share/flashdock/ZK40 Family Flashdock User's Manual.pdf"
expect share/applications/flashdock.desktop
for size in 16 32 64; do expect "share/icons/hicolor/${size}x${size}/apps/flashdock.png"; done
expect lib/udev/rules.d/60-flashdock.rules
expect share/man/man1/flashdock-cli.1.gz
expect share/bash-completion/completions/flashdock-cli
# The read-only files are in the share folder only: nothing to go stale beside the programs.
for stray in bin/MCUType.mcu "bin/ZK40 Family Flashdock User's Manual.pdf"; do
  if [ -e "$root/$stray" ]; then
    echo "FAIL: $stray is installed beside the programs"
    failures=$((failures + 1))
  fi
done
# The menu entry starts the installed program by name, with its icon and the product's name.
desktop="$root/share/applications/flashdock.desktop"
for line in "Name=ZK40 Family Flashdock" "Exec=flashdock" "Icon=flashdock" "Type=Application"; do
  grep -qx "$line" "$desktop" || { echo "FAIL: the desktop entry lacks $line"; failures=$((failures + 1)); }
done
if command -v desktop-file-validate >/dev/null && ! desktop-file-validate "$desktop"; then
  failures=$((failures + 1))
fi
[ $failures -eq 0 ] && echo "install layout: every file in its place"
exit $((failures > 0))
