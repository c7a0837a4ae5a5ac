#!/usr/bin/env bash
# The S-record conversion against objcopy on the same file: 1 MiB of data as S2 records at
# 0x10000. Ours: read the file and build the load-record content (srecord_bench's
# BM_ConvertFile, in one process). objcopy: the whole command, reading the S-records and
# writing the binary; its start-up, timed on a one-record file, is shown and also taken out.
# Goal: at least twice objcopy's throughput.
#   bench/srecord_vs_objcopy.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/default}
runs=${2:-20}
bench="$build/bench/srecord_bench"
if [ ! -x "$bench" ]; then
  echo "no $bench: build it first (cmake --build $build --target srecord_bench)" >&2
  exit 2
fi
command -v objcopy >/dev/null || { echo "objcopy is not on PATH (Debian package binutils)" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

head -c 1048576 /dev/urandom > "$dir/data.bin"
objcopy -I binary -O srec --change-addresses 0x10000 --srec-len=16 "$dir/data.bin" "$dir/data.mot"
head -c 16 /dev/urandom > "$dir/tiny.bin"
objcopy -I binary -O srec --change-addresses 0x10000 "$dir/tiny.bin" "$dir/tiny.mot"
size=$(stat -c %s "$dir/data.mot")

# Mean wall time of one objcopy run, in milliseconds.
time_objcopy() {
  local file=$1 start end
  objcopy -I srec -O binary "$file" "$dir/out.bin"  # warm the cache
  start=$(date +%s%N)
  for _ in $(seq "$runs"); do objcopy -I srec -O binary "$file" "$dir/out.bin"; done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v n="$runs" 'BEGIN { printf "%.3f", ns / n / 1e6 }'
}
objcopy_ms=$(time_objcopy "$dir/data.mot")
startup_ms=$(time_objcopy "$dir/tiny.mot")

ours_ms=$(SRECORD_BENCH_FILE="$dir/data.mot" "$bench" --benchmark_filter='^BM_ConvertFile$' \
  --benchmark_format=csv --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ { print $3 }')

awk -v size="$size" -v ours="$ours_ms" -v obj="$objcopy_ms" -v start="$startup_ms" 'BEGIN {
  mib = size / 1048576
  printf "file: %.2f MiB of S-record text holding 1 MiB of data\n", mib
  printf "ours:    %8.3f ms  %8.1f MiB/s\n", ours, mib / (ours / 1000)
  printf "objcopy: %8.3f ms  %8.1f MiB/s  (start-up %.3f ms)\n", obj, mib / (obj / 1000), start
  net = obj - start; if (net <= 0) net = obj
  printf "ratio: %.1fx objcopy'"'"'s throughput (%.1fx without its start-up)\n", obj / ours, net / ours
}'
