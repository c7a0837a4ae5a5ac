#!/usr/bin/env bash
# The first build of a fresh clone, as a new developer makes it: HEAD cloned into a temporary
# folder, the default preset configured and built with the compiler cache turned off (the
# build's own parallelism, one job a core and two more). Prints the times of both steps.
#   bench/build_time.sh
set -euo pipefail
repo=$(git rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse --short HEAD)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
git clone --quiet --no-local "$repo" "$dir/flashdock"
git -C "$dir/flashdock" checkout --quiet --detach "$commit"
cd "$dir/flashdock"
export CCACHE_DISABLE=1
t0=$EPOCHREALTIME
cmake --preset default >"$dir/configure.log" 2>&1 || { tail -n 30 "$dir/configure.log" >&2; exit 1; }
t1=$EPOCHREALTIME
cmake --build --preset default >"$dir/build.log" 2>&1 || { tail -n 30 "$dir/build.log" >&2; exit 1; }
t2=$EPOCHREALTIME
steps=$(grep -o '^\[[0-9]*/[0-9]*\]' "$dir/build.log" | tail -n 1 | tr -d '[]' | cut -d/ -f2)
echo "commit $commit, $(nproc) cores, compiler cache off, ${steps:-?} build steps"
awk -v a="$t0" -v b="$t1" -v c="$t2" 'BEGIN {
  printf "configure: %.1f s\nbuild: %.1f s\ntotal: %.1f s (%d min %02d s)\n", b - a, c - b, c - a,
    int((c - a) / 60), int(c - a) % 60 }'
