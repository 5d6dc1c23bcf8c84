#!/usr/bin/env bash
# Decoding plus conversion to CD-format WAV, in x-realtime (seconds of audio per second of wall time),
# through `kelvadore-cli decode`, against ffmpeg decoding the same file to a 44100 Hz stereo WAV in
# the same run. The two run in turn, REPEAT times each, so that a machine whose speed drifts slows
# both alike; the figures are medians. Not run by CI.
#
# usage: bench/audio/decode_bench.sh [path/to/kelvadore-cli] [seconds of audio per source, default 120]
set -euo pipefail

CLI=${1:-$(dirname "$0")/../../build/src/cli/kelvadore-cli}
SECONDS_OF_AUDIO=${2:-120}
REPEAT=${REPEAT:-5}
for tool in ffmpeg lame flac /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "decode_bench: $tool is needed" >&2; exit 2; }
done
[ -x "$CLI" ] || { echo "decode_bench: no kelvadore-cli at $CLI (build the kelvadore-cli target)" >&2; exit 2; }
CLI=$(realpath "$CLI")

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# Music-like material: a chord with a slow tremolo and some noise, so encoders do real work.
SIGNAL="aevalsrc='0.2*sin(2*PI*220*t)*(1+0.3*sin(2*PI*0.5*t))+0.15*sin(2*PI*277*t)+0.1*sin(2*PI*3300*t)+0.05*(random(0)-0.5)|0.2*sin(2*PI*330*t)+0.1*sin(2*PI*554*t)*(1+0.5*sin(2*PI*0.3*t))+0.05*(random(1)-0.5)'"
ffmpeg -v error -f lavfi -i "$SIGNAL:s=44100:d=$SECONDS_OF_AUDIO" -c:a pcm_s16le src44.wav
ffmpeg -v error -i src44.wav \
    -map 0 -c:a mp2 -ar 32000 -b:a 192k t-mp2-32k.mp2 \
    -map 0 -c:a libvorbis -ar 48000 -q:a 5 t-ogg-48k.ogg \
    -map 0 -c:a pcm_u8 -ac 1 -ar 22050 t-wav-u8-22k-mono.wav \
    -map 0 -c:a pcm_s24le -ar 96000 t-wav-s24-96k.wav \
    -map 0 -c:a wmav2 -b:a 160k t-wma-44k.wma
lame --quiet -b 192 src44.wav t-mp3-44k.mp3
ffmpeg -v error -i src44.wav -ac 1 -ar 22050 -c:a pcm_s16le -map_metadata -1 -fflags +bitexact m22.wav
flac --silent -f --keep-foreign-metadata -o t-flac-22k-mono.flac m22.wav 2>/dev/null ||
    flac --silent -f -o t-flac-22k-mono.flac m22.wav 2>/dev/null

# Runs a command under GNU time; appends "wall cpu" (seconds) to FILE.
measure() {
    file=$1
    shift
    /usr/bin/time -f "%e %U %S" -o "$WORK/time" "$@" >/dev/null 2>"$WORK/err" ||
        { echo "decode_bench: failed: $* ($(cat "$WORK/err"))" >&2; exit 1; }
    awk '{ printf "%s %.3f\n", $1, $2 + $3 }' "$WORK/time" >>"$file"
}
median() { sort -n -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-26s %8s %12s %12s %8s %10s\n' source "audio s" "kelvadore x" "ffmpeg x" ratio "CPU ratio"
for f in t-*; do
    rm -rf out && mkdir out
    rm -f "$WORK/kv.times" "$WORK/ff.times"
    dur=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
    for _ in $(seq "$REPEAT"); do
        measure "$WORK/kv.times" "$CLI" decode -o out "$f"
        measure "$WORK/ff.times" ffmpeg -v error -y -i "$f" -ar 44100 -ac 2 -c:a pcm_s16le out/ref.wav
    done
    awk -v n="$f" -v d="$dur" -v a="$(median "$WORK/kv.times" 1)" -v b="$(median "$WORK/ff.times" 1)" \
        -v ca="$(median "$WORK/kv.times" 2)" -v cb="$(median "$WORK/ff.times" 2)" \
        'BEGIN { printf "%-26s %8.1f %12.1f %12.1f %8.2f %10.2f\n", n, d, d / a, d / b, b / a, cb / ca }'
done
echo "(x = seconds of audio decoded per second of wall time, median of $REPEAT alternating runs;"
echo " ratio = kelvadore x / ffmpeg x; CPU ratio = ffmpeg's CPU time / kelvadore's)"
