#!/usr/bin/env bash
# Re-multiplexing speed and memory beside plain reading and ffmpeg's copy, in one run:
#  - input: H.264 1920x1080 23.976 fps at 30 Mbit/s (x264 ultrafast, level 4.1, VBV 30 Mbit/s)
#    and AC-3 448 kbit/s, written by ffmpeg as a 40 Mbit/s BDMV-layout transport stream of about
#    SIZE_MB (default 500); a half-length input beside it for the memory slope;
#  - timed, each the median of 3 runs with the page cache warm:
#      cat IN > /dev/null
#      vexilla mux (scan + mux of every track: the episode rebuild)
#      vexilla clipinfo (scan + clip information)
#      ffmpeg -i IN -map 0 -c copy -f mpegts -mpegts_m2ts_mode 1 OUT
#  - peak memory (ru_maxrss) of vexilla mux at half and full length, as bytes per AU.
# The run fails when vexilla's output fails `vexilla verify`: a fast wrong mux does not count.
# Inputs are kept in bench-data/ (ignored by git) and reused while their size matches.
# Usage: bench/remux.sh [SIZE_MB]
set -euo pipefail
cd "$(dirname "$0")/.."
size_mb=${1:-500}
scripts/setup
vexilla=$PWD/build/src/cli/vexilla
data=$PWD/bench-data
mkdir -p "$data"
work=$(mktemp -d "${TMPDIR:-/tmp}/vexilla-remux-XXXXXX")
trap 'rm -rf "$work"' EXIT

# 40 Mbit/s: SIZE_MB x 8 / 40 seconds.
seconds_full=$(( size_mb * 8 / 40 ))
make_input() {  # seconds file
  [[ -f $2 ]] && return
  echo "remux: making $2 ($1 s)" >&2
  ffmpeg -nostdin -v error -y -f lavfi -t "$1" -i "testsrc2=size=1920x1080:rate=24000/1001" \
    -f lavfi -t "$1" -i "sine=frequency=440:sample_rate=48000" -ac 2 \
    -c:v libx264 -preset ultrafast -level 4.1 -b:v 30M \
    -x264-params "vbv-maxrate=30000:vbv-bufsize=30000:nal-hrd=vbr" -pix_fmt yuv420p \
    -c:a ac3 -b:a 448k -f mpegts -mpegts_m2ts_mode 1 -muxrate 40M "$2.part"
  mv "$2.part" "$2"
}
full=$data/remux-${size_mb}.m2ts
half=$data/remux-${size_mb}-half.m2ts
make_input "$seconds_full" "$full"
make_input $(( seconds_full / 2 )) "$half"

median3() {  # command... ; prints the median wall time of three runs
  local times=()
  for _ in 1 2 3; do
    local t0 t1
    t0=$(date +%s.%N); "$@" > /dev/null 2>&1; t1=$(date +%s.%N)
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 2p
}

peak_kb() {  # command... ; prints the command's ru_maxrss in KiB
  python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
}

aus_of() {  # clpi-less count of access units: video frames + audio frames, from ffprobe
  ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1" |
    awk '{ n += $1 } END { print n }'
}

cat "$full" > /dev/null
t_cat=$(median3 cat "$full")
t_mux=$(median3 "$vexilla" mux --force -o "$work/out.m2ts" --clpi "$work/out.clpi" "$full")
t_clip=$(median3 "$vexilla" clipinfo --force -o "$work/in.clpi" "$full")
t_ffmpeg=$(median3 ffmpeg -nostdin -v error -y -i "$full" -map 0 -c copy -f mpegts \
  -mpegts_m2ts_mode 1 "$work/ffmpeg.m2ts")

"$vexilla" mux --force -o "$work/out.m2ts" --clpi "$work/out.clpi" "$full"
if ! "$vexilla" verify "$work/out.m2ts" --clpi "$work/out.clpi"; then
  echo "remux: the multiplexed file fails vexilla verify" >&2
  exit 1
fi

rss_full=$(peak_kb "$vexilla" mux --force -o "$work/m.m2ts" --clpi "$work/m.clpi" "$full")
rss_half=$(peak_kb "$vexilla" mux --force -o "$work/m.m2ts" --clpi "$work/m.clpi" "$half")
aus_full=$(aus_of "$full")
aus_half=$(aus_of "$half")

awk -v bytes="$(stat -c %s "$full")" -v c="$t_cat" -v m="$t_mux" -v k="$t_clip" -v f="$t_ffmpeg" \
    -v rf="$rss_full" -v rh="$rss_half" -v af="$aus_full" -v ah="$aus_half" 'BEGIN {
  mb = bytes / 1048576
  printf "input %.1f MB, %d AUs (half: %d AUs)\n", mb, af, ah
  printf "cat                 %7.3f s  %8.1f MB/s\n", c, mb / c
  printf "vexilla mux         %7.3f s  %8.1f MB/s  %.2fx cat, %.2fx faster than ffmpeg\n", m, mb / m, m / c, f / m
  printf "vexilla clipinfo    %7.3f s  %8.1f MB/s  %.2fx cat\n", k, mb / k, k / c
  printf "ffmpeg copy         %7.3f s  %8.1f MB/s\n", f, mb / f
  printf "peak memory of mux  %.1f MiB (half length %.1f MiB): %.0f bytes per AU over %.1f MiB\n",
         rf / 1024, rh / 1024, (rf - rh) * 1024 / (af - ah), (rf - (rf - rh) * af / (af - ah)) / 1024
}'
