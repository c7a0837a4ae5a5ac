#!/usr/bin/env bash
# Build and run Flashdock, or build and run its tests.
#   ./dev.sh run [ARGS...]   build, then start the desktop app on the simulated demo bench
#                            (headless: the command-line demo instead); ARGS go to the program
#   ./dev.sh test            what CI runs: build, then run every test through CTest; the same
#                            tests again under AddressSanitizer + UBSan with leak detection
#                            (build/asan); and a short run of every fuzz target (about 3 s each)
#   ./dev.sh check           the inner loop: build, then run every test through CTest
#   ./dev.sh asan            the tests under AddressSanitizer + UBSan alone
#   ./dev.sh fuzz [SECONDS]  build the fuzz targets and run each for its share of SECONDS
#                            (default 600); a finding fails the run
#   ./dev.sh reports         build, run the fault matrix and write its table to docs/reliability.md;
#                            copy the build's picture of the main window to docs/images/
#   ./dev.sh bench           build, run every benchmark and write docs/performance.md
#                            (FLASHDOCK_BENCH_SKIP_BUILD=1: without the fresh clone's build)
#   ./dev.sh package         build the installable Debian package into build/package/
#                            (install it with: sudo apt install ./build/package/flashdock_*.deb)
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libserialport-dev libsimpleini-dev
  libcli11-dev nlohmann-json3-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsrecord-dev libboost-dev srecord binutils fonts-dejavu-core
  clang libclang-rt-14-dev llvm-14 groff-base desktop-file-utils)

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

# Runs every fuzz target for `each` seconds, starting from a copy of its tracked corpus in
# build/fuzz/<dir>/ (so the tracked seeds never grow); `fresh` starts from the seeds alone.
# A crash, a leak, a broken check or a slow input is a finding: its input is kept in
# build/fuzz/findings/ and the run fails once every target has had its turn.
run_fuzzers() {
  local each=$1 dir=$2 fresh=$3
  local bin=build/fuzz/tests/fuzz findings=build/fuzz/findings failed=()
  mkdir -p "$findings" "build/fuzz/logs"
  export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
  for target in "$bin"/fuzz_*; do
    [ -x "$target" ] || continue
    local name=${target##*/fuzz_}
    local corpus="build/fuzz/$dir/$name" log="build/fuzz/logs/$name.log"
    [ "$fresh" = yes ] && rm -rf "$corpus"
    mkdir -p "$corpus"
    [ -d "tests/fuzz/corpus/$name" ] && cp -rn "tests/fuzz/corpus/$name/." "$corpus/"
    if "$target" -max_total_time="$each" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" "$corpus" >"$log" 2>&1; then
      echo "fuzz $name: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') inputs in ${each} s, no finding"
    else
      echo "fuzz $name: FINDING (log: $log)"
      grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$log" | head -n 20 || tail -n 20 "$log"
      failed+=("$name")
    fi
  done
  if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzz findings in: ${failed[*]} (inputs in $findings/)" >&2
    return 1
  fi
}

# The default build and every test through CTest.
default_suite() {
  install_missing
  build default
  QT_QPA_PLATFORM=offscreen ctest --preset default -j "$(nproc)"
}

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer in build/asan.
# Any report fails its test: UBSan stops at the first, and LeakSanitizer runs at every test
# program's exit (the preset's environment; what libraries keep by design is listed in
# tests/sanitizers/lsan.supp).
sanitizer_suite() {
  install_missing
  build asan
  ctest --preset asan -j "$(nproc)"
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
    default_suite
    sanitizer_suite
    build fuzz
    run_fuzzers 3 smoke yes
    ;;
  check)
    default_suite
    ;;
  fuzz)
    seconds=${1:-600}
    if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
      echo "usage: ./dev.sh fuzz [SECONDS]  (a whole number of seconds above 0)" >&2
      exit 2
    fi
    install_missing
    build fuzz
    targets=(build/fuzz/tests/fuzz/fuzz_*)
    each=$(( seconds / ${#targets[@]} ))
    [ "$each" -lt 1 ] && each=1
    run_fuzzers "$each" corpus no
    ;;
  asan)
    sanitizer_suite
    ;;
  reports)
    install_missing
    build default
    # The fault matrix writes its table beside the test programs once every cell ran and passed.
    rm -f build/default/tests/reliability.md
    build/default/tests/tests_faults --gtest_brief=1
    cp build/default/tests/reliability.md docs/reliability.md.tmp
    mv docs/reliability.md.tmp docs/reliability.md
    echo "Wrote docs/reliability.md"
    # The README's picture of the main window, taken by the build as the manual's are.
    mkdir -p docs/images
    cp build/default/manual/shots/main-gang-run.png docs/images/main-gang-run.png.tmp
    mv docs/images/main-gang-run.png.tmp docs/images/main-gang-run.png
    echo "Wrote docs/images/main-gang-run.png"
    ;;
  package)
    # dpkg-shlibdeps (dpkg-dev) names the libraries the package depends on.
    packages+=(dpkg-dev file)
    install_missing
    cmake --preset package >/dev/null
    cmake --build --preset package
    rm -rf build/package
    (cd build/package-build && cpack -B "$PWD/../package" >/dev/null)
    rm -rf build/package/_CPack_Packages
    echo "Wrote $(ls build/package/*.deb)"
    ;;
  bench)
    # The report is written by a Python 3 script; most systems have it already.
    command -v python3 >/dev/null || packages+=(python3)
    install_missing
    build default
    python3 bench/report.py
    ;;
  *)
    echo "usage: ./dev.sh run [ARGS...] | test | check | asan | fuzz [SECONDS] | reports | bench | package" >&2
    exit 2
    ;;
esac
