#!/usr/bin/env bash
# Start-up of both programs to their first output, on the simulated demo bench, in real time:
#   flashdock      offscreen, to its first painted window; the preloaded startup_probe sees
#                  the paint, prints the window's title and ends the program there
#   flashdock-cli  `list`, to its first printed line
# Each program is started once unmeasured (files cached, its folder made), then RUNS times;
# prints the median and the range in milliseconds, from the start of the process to the
# line read from its output.
#   bench/startup.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/default}
runs=${2:-7}
probe="$build/bench/libstartup_probe.so"
for f in "$build/flashdock" "$build/flashdock-cli" "$probe"; do
  [ -e "$f" ] || { echo "no $f: build it first (cmake --build $build)" >&2; exit 2; }
done
probe=$(realpath "$probe")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/gui" "$dir/cli"
# A settings file already present: no first-run window.
for d in gui cli; do
  printf '[Log information]\r\nAuto save log=1\r\nAuto save ID=1\r\n' > "$dir/$d/ZK40 Family Flashdock.ini"
done

# Milliseconds from the start of the command to its first line on stdout; the line itself
# goes to the file named by $expect_file for a check. Waits for the command to end.
first_line_ms() {
  local start end line
  start=$EPOCHREALTIME
  {
    IFS= read -r line || line=
    end=$EPOCHREALTIME
    cat >/dev/null
  } < <(timeout 60 "$@" 2>>"$dir/stderr")
  wait $! || { echo "failed: $* (exit $?); its errors:" >&2; cat "$dir/stderr" >&2; exit 1; }
  printf '%s\n' "$line" > "$dir/line"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }'
}

# Runs the command once unmeasured and RUNS times measured; checks every first line
# against the pattern and prints "median (min-max)".
measure() {
  local pattern=$1 samples=()
  shift
  for i in $(seq 0 "$runs"); do
    local ms
    ms=$(first_line_ms "$@")
    grep -Eq -- "$pattern" "$dir/line" || { echo "unexpected first line of $*: $(cat "$dir/line")" >&2; exit 1; }
    [ "$i" -gt 0 ] && samples+=("$ms")
  done
  printf '%s\n' "${samples[@]}" | sort -n | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.1f ms (%.1f-%.1f ms)", m, v[1], v[NR] }'
}

gui=$(measure '^first window painted: ZK40 Family Flashdock$' \
  env QT_QPA_PLATFORM=offscreen LD_PRELOAD="$probe" "$build/flashdock" --simulate demo --app-dir "$dir/gui")
cli=$(measure 'programmers* (is|are) detected' "$build/flashdock-cli" --simulate demo --app-dir "$dir/cli" list)
echo "median of $runs, real time, the demo bench"
echo "flashdock:     first window painted after $gui"
echo "flashdock-cli: first line printed after $cli"
