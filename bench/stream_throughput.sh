#!/usr/bin/env bash
# Throughput of stream analysis beside plain reading of the same file, in the same run:
#  - `vexilla analyze` of a large AC-3 file (about 1 GB, the frames of a small file repeated),
#  - `vexilla inspect` of a large transport stream (about 1 GB; reads the PMT from the start
#    and the last presentation time from the end),
# each next to `cat FILE > /dev/null`. The page cache is warmed first so that both read from
# memory and the figures compare the work, not the disk.
# Usage: bench/stream_throughput.sh [SIZE_MB]   (default 1024)
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-1024}
scripts/setup
vexilla=build/src/cli/vexilla
work=$(mktemp -d "${TMPDIR:-/tmp}/vexilla-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

repeat_to_size() {  # source target
  local src=$1 dst=$2 unit reps
  unit=$(stat -c %s "$src")
  reps=$(( size_mb * 1024 * 1024 / unit ))
  for ((i = 0; i < reps; i++)); do cat "$src"; done > "$dst"
}

seconds() {
  local t0 t1
  t0=$(date +%s.%N); "$@" > /dev/null; t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'
}

report() {  # label file seconds_cat seconds_tool
  awk -v label="$1" -v bytes="$(stat -c %s "$2")" -v c="$3" -v v="$4" 'BEGIN {
    mb = bytes / 1048576
    printf "%-28s %8.1f MB  cat %7.3f s (%7.1f MB/s)  vexilla %7.3f s (%7.1f MB/s)  ratio %.2f\n",
           label, mb, c, mb / c, v, mb / v, v / c }'
}

ac3=$work/big.ac3
repeat_to_size tests/fixtures/es/a_stereo192.ac3 "$ac3"
cat "$ac3" > /dev/null
t_cat=$(seconds cat "$ac3")
t_tool=$(seconds "$vexilla" analyze --json "$ac3")
report "analyze AC-3" "$ac3" "$t_cat" "$t_tool"

m2ts=$work/big.m2ts
repeat_to_size tests/fixtures/disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts "$m2ts"
cat "$m2ts" > /dev/null
t_cat=$(seconds cat "$m2ts")
t_tool=$(seconds "$vexilla" inspect --json "$m2ts")
report "inspect m2ts (PMT, last PTS)" "$m2ts" "$t_cat" "$t_tool"
