#!/usr/bin/env bash
# The share of one core the desktop program uses while its window sits idle with eight
# simulated programmers attached (detection every 200 ms), measured on the real process.
#   bench/idle_cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build/default}
seconds=${2:-10}
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
# A settings file already present: no first-run window.
printf '[Log information]\r\nAuto save log=1\r\nAuto save ID=1\r\n' > "$dir/ZK40 Family Flashdock.ini"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/flashdock" --simulate 8 --app-dir "$dir" &
pid=$!
sleep 2  # start-up and the first detection
ticks=$(getconf CLK_TCK)
read -r u0 s0 < <(awk '{print $14, $15}' "/proc/$pid/stat")
sleep "$seconds"
read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$pid/stat")
awk -v d=$(( (u1 + s1) - (u0 + s0) )) -v t="$ticks" -v s="$seconds" \
  'BEGIN { printf "idle CPU: %.2f %% of one core over %d s\n", 100 * d / t / s, s }'
