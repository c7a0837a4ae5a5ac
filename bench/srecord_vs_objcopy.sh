#!/usr/bin/env bash
# The S-record conversion against objcopy and srec_cat on the same file: 1 MiB of data as S2
# records at 0x10000. Ours: read the file and build the load-record content (srecord_bench's
# BM_ConvertFile, in one process). objcopy and srec_cat: the whole command, reading the
# S-records and writing the same binary; each one's start-up, timed on a one-record file, is
# shown and also taken out. Goal: at least twice objcopy's throughput, without its start-up.
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
command -v srec_cat >/dev/null || { echo "srec_cat is not on PATH (Debian package srecord)" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

head -c 1048576 /dev/urandom > "$dir/data.bin"
objcopy -I binary -O srec --change-addresses 0x10000 --srec-len=16 "$dir/data.bin" "$dir/data.mot"
head -c 16 /dev/urandom > "$dir/tiny.bin"
objcopy -I binary -O srec --change-addresses 0x10000 "$dir/tiny.bin" "$dir/tiny.mot"
size=$(stat -c %s "$dir/data.mot")

# Mean wall time of one run of a converter, in milliseconds: `objcopy FILE` or `srec_cat FILE`.
convert() {
  case $1 in
    objcopy) objcopy -I srec -O binary "$2" "$dir/out.bin" ;;
    srec_cat) srec_cat "$2" -offset -0x10000 -o "$dir/out.bin" -binary ;;
  esac
}
time_tool() {
  local tool=$1 file=$2 start end
  convert "$tool" "$file"  # warm the cache
  start=$(date +%s%N)
  for _ in $(seq "$runs"); do convert "$tool" "$file"; done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v n="$runs" 'BEGIN { printf "%.3f", ns / n / 1e6 }'
}
objcopy_ms=$(time_tool objcopy "$dir/data.mot")
objcopy_startup_ms=$(time_tool objcopy "$dir/tiny.mot")
srec_cat_ms=$(time_tool srec_cat "$dir/data.mot")
srec_cat_startup_ms=$(time_tool srec_cat "$dir/tiny.mot")

ours_ms=$(SRECORD_BENCH_FILE="$dir/data.mot" "$bench" --benchmark_filter='^BM_ConvertFile$' \
  --benchmark_format=csv --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '$1 ~ /_median"?$/ { print $3 }')

awk -v size="$size" -v ours="$ours_ms" -v obj="$objcopy_ms" -v objstart="$objcopy_startup_ms" \
    -v srec="$srec_cat_ms" -v srecstart="$srec_cat_startup_ms" '
function peer(name, ms, start,   net) {
  printf "%-9s%8.3f ms  %8.1f MiB/s  (start-up %.3f ms)\n", name ":", ms, mib / (ms / 1000), start
  net = ms - start; if (net <= 0) net = ms
  ratios = ratios sprintf("ratio: %.1fx %s'"'"'s throughput (%.1fx without its start-up)\n", ms / ours, name, net / ours)
}
BEGIN {
  mib = size / 1048576
  printf "file: %.2f MiB of S-record text holding 1 MiB of data\n", mib
  printf "%-9s%8.3f ms  %8.1f MiB/s\n", "ours:", ours, mib / (ours / 1000)
  peer("objcopy", obj, objstart)
  peer("srec_cat", srec, srecstart)
  printf "%s", ratios
}'
