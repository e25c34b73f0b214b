#!/usr/bin/env bash
# Makes the stream files of tests/fixtures/mux with ffmpeg: transport streams in the BDMV
# (192-byte packet) layout written by another multiplexer, without clip information.
#   avc_ac3.m2ts     H.264 1920x1080 23.976 fps, 4 s, and the AC-3 fixture
#   lpcm.m2ts        1 s of the WAV fixture as disc LPCM (no video)
#   avc_ac3_pg.m2ts  the same with a PG track: the third-party test.sup plus a display set at
#                    5 s that shows a subtitle again and is never cleared (a stream that ends
#                    showing a subtitle)
# Usage: tools/make_mux_fixtures.sh   (from the repository's root)
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/fixtures/mux
es=tests/fixtures/es
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

python3 - "$tmp/pg_tail.sup" tests/fixtures/third-party/sup/test.sup <<'PY'
import sys
out, src = sys.argv[1], sys.argv[2]
data = open(src, 'rb').read()
segments, i = [], 0
while i + 13 <= len(data):
    length = int.from_bytes(data[i + 11:i + 13], 'big')
    segments.append(bytearray(data[i:i + 13 + length]))
    i += 13 + length
# The first display set (PCS, WDS, PDS, ODS, END) again, 4 s later.
first = []
for s in segments:
    first.append(s)
    if s[10] == 0x80:
        break
tail = []
for s in first:
    s = bytearray(s)
    for at in (2, 6):  # PTS and DTS
        value = int.from_bytes(s[at:at + 4], 'big')
        if value:
            s[at:at + 4] = (value + 4 * 90000).to_bytes(4, 'big')
    tail.append(s)
open(out, 'wb').write(data + b''.join(tail))
PY

video=(-f lavfi -t 4 -i "testsrc2=size=1920x1080:rate=24000/1001")
x264=(-c:v libx264 -preset ultrafast -crf 51 -pix_fmt yuv420p -level 4.1 -g 24
      -x264-params "nal-hrd=vbr:vbv-maxrate=20000:vbv-bufsize=20000")
ffmpeg -v error -y "${video[@]}" -i "$es/a_stereo192.ac3" -map 0:v -map 1:a "${x264[@]}" \
    -c:a copy -f mpegts -mpegts_m2ts_mode 1 "$out/avc_ac3.m2ts"
ffmpeg -v error -y "${video[@]}" -i "$es/a_stereo192.ac3" -i "$tmp/pg_tail.sup" \
    -map 0:v -map 1:a -map 2:s "${x264[@]}" -c:a copy -c:s copy \
    -f mpegts -mpegts_m2ts_mode 1 "$out/avc_ac3_pg.m2ts"
ffmpeg -v error -y -t 1 -i "$es/a_pcm16.wav" -c:a pcm_bluray -f mpegts -mpegts_m2ts_mode 1 \
    "$out/lpcm.m2ts"
ls -l "$out"
