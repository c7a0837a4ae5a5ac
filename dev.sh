#!/usr/bin/env bash
# Build and run Flashdock, or build and run its tests.
#   ./dev.sh run [ARGS...]   build, then start the desktop app on the simulated demo bench
#                            (headless: the command-line demo instead); ARGS go to the program
#   ./dev.sh test            build, then run every test through CTest
#   ./dev.sh asan            the same tests under AddressSanitizer + UBSan
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libserialport-dev libsimpleini-dev
  libcli11-dev nlohmann-json3-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsrecord-dev libboost-dev srecord binutils fonts-dejavu-core)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
  local preset=$1
  # CI turns warnings into errors; a developer's build only shows them.
  local werror=OFF
  [ "${CI:-}" = "true" ] && werror=ON
  cmake --preset "$preset" -DFLASHDOCK_WERROR=$werror >/dev/null
  cmake --build --preset "$preset"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
  run)
    install_missing
    build default
    bin=build/default
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      if [ $# -eq 0 ]; then set -- --simulate demo; fi
      exec "$bin/flashdock" "$@"
    fi
    echo "No display: running the command-line demo on the simulated bench."
    if [ $# -gt 0 ]; then exec "$bin/flashdock-cli" "$@"; fi
    for step in "info --device 0" "list" "gang"; do
      echo "\$ flashdock-cli --simulate demo $step"
      # shellcheck disable=SC2086
      "$bin/flashdock-cli" --simulate demo $step
      echo
    done
    echo "History log: $bin/ZK40 Family Flashdock History.log"
    ;;
  test)
    install_missing
    build default
    QT_QPA_PLATFORM=offscreen ctest --preset default -j "$(nproc)"
    ;;
  asan)
    install_missing
    build asan
    QT_QPA_PLATFORM=offscreen ctest --preset asan -j "$(nproc)"
    ;;
  *)
    echo "usage: ./dev.sh run [ARGS...] | test | asan" >&2
    exit 2
    ;;
esac
