#!/bin/sh
# Benchmark of UDF beside ISO 9660 in image output: kelvadore-cli mkiso with and without UDF
# against genisoimage -J -R with and without -udf, in the same run, on two trees built in a
# scratch folder:
#   small: 100 000 files of 1-4 KiB in 1 000 folders;  large: 1000 MiB in 10 files.
# Each round runs the four commands in turn (warm page cache, no dirty pages behind any of them);
# the medians of the rounds give the ratios: what UDF costs us (goal: under 1.15) and our image
# with UDF against genisoimage's (goal: under 1.00).
#
# usage: bench/iso/udf_bench.sh [path/to/kelvadore-cli] [scratch parent folder] [trees: "small large"] [rounds]
set -eu

CLI=${1:-build/src/cli/kelvadore-cli}
PARENT=${2:-${TMPDIR:-/tmp}}
TREES=${3:-small large}
ROUNDS=${4:-3}

. "$(dirname "$0")/bench_trees.sh"
bench_trees udf_bench "$PARENT" "$CLI" genisoimage

# Seconds of wall time of one command, its output image removed afterwards.
seconds() {
    sync
    start=$(date +%s.%N)
    "$@" >"$WORK/out.txt" 2>&1 || { cat "$WORK/out.txt" >&2; exit 1; }
    end=$(date +%s.%N)
    rm -f "$WORK/image.iso"
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

for tree in $TREES; do
    T="$WORK/$tree"
    find "$T" -type f -print0 | xargs -0 cat >/dev/null  # warm the page cache
    : >"$WORK/kv"; : >"$WORK/kvudf"; : >"$WORK/gen"; : >"$WORK/genudf"
    # Each round starts with the next command: the first one after the previous round's large
    # image was deleted runs measurably slower, whichever program it is.
    for round in $(seq "$ROUNDS"); do
        for turn in 0 1 2 3; do
            case $(( (round + turn) % 4 )) in
                0) seconds "$CLI" mkiso --udf off -o "$WORK/image.iso" "$T" >>"$WORK/kv" ;;
                1) seconds "$CLI" mkiso --udf on -o "$WORK/image.iso" "$T" >>"$WORK/kvudf" ;;
                2) seconds genisoimage -quiet -J -R -o "$WORK/image.iso" "$T" >>"$WORK/gen" ;;
                3) seconds genisoimage -quiet -J -R -udf -o "$WORK/image.iso" "$T" >>"$WORK/genudf" ;;
            esac
        done
    done
    kv=$(median <"$WORK/kv"); kvudf=$(median <"$WORK/kvudf")
    gen=$(median <"$WORK/gen"); genudf=$(median <"$WORK/genudf")
    echo
    echo "== $tree tree: $(find "$T" -type f | wc -l) files, $(du -sb "$T" | awk '{print $1}') bytes, median of $ROUNDS rounds"
    echo "mkiso --udf off           : ${kv} s"
    echo "mkiso (UDF)               : ${kvudf} s"
    echo "genisoimage -J -R         : ${gen} s"
    echo "genisoimage -J -R -udf    : ${genudf} s"
    echo "ratio UDF / no UDF (ours) : $(ratio "$kvudf" "$kv")"
    echo "ratio ours / genisoimage, with UDF    : $(ratio "$kvudf" "$genudf")"
    echo "ratio ours / genisoimage, without UDF : $(ratio "$kv" "$gen")"
done
