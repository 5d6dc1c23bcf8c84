#!/bin/sh
# Benchmark of ISO image output (kelvadore-cli mkiso, Rock Ridge and Joliet, UDF off as the peers
# write none here; bench/iso/udf_bench.sh measures it) against genisoimage -J -R and xorriso -as
# mkisofs -J -R writing the same tree, in the same run, on the trees built in a scratch folder:
#   large: 1000 MiB in 10 files;  small: 100 000 files of 1-4 KiB in 1 000 folders;
#   one:   a single small file (the memory every run needs before it holds any file).
# The programs run in turn, ROUNDS times (default 5), so that a machine whose speed drifts slows
# them alike; each figure is the median of its runs. Every run writes a new image (the previous
# one is removed first) into warm page cache: cat reads each tree before it is measured.
# Prints wall time, CPU time (user + system) and peak memory (GNU time -v) with the ratios to
# genisoimage and xorriso, and the memory per file: (peak of the small tree - peak of the
# one-file tree) / 100 000.
#
# usage: bench/iso/iso_bench.sh [path/to/kelvadore-cli] [scratch parent folder] [trees] [rounds]
#        trees: any of "large small" (default both)
set -eu

CLI=${1:-build/src/cli/kelvadore-cli}
PARENT=${2:-${TMPDIR:-/tmp}}
TREES=${3:-large small}
ROUNDS=${4:-5}
TIME=/usr/bin/time

. "$(dirname "$0")/bench_trees.sh"
bench_trees iso_bench "$PARENT" "$CLI" genisoimage xorriso "$TIME"

# Runs a command under GNU time after removing its image; appends "wall cpu peak_kb" to FILE.
measure() {
    file=$1
    image=$2
    shift 2
    rm -f "$image"
    $TIME -v "$@" >"$WORK/out.txt" 2>"$WORK/time.txt" || { cat "$WORK/out.txt" "$WORK/time.txt" >&2; exit 1; }
    awk -F': ' '
        /Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i] }
        /User time/ { u = $2 }
        /System time/ { y = $2 }
        /Maximum resident set size/ { m = $2 }
        END { printf "%.3f %.3f %d\n", s, u + y, m }' "$WORK/time.txt" >>"$file"
}

# Median of column COLUMN of FILE.
median() { sort -n -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# Medians of one program on one tree: "wall cpu peak_kb".
medians() { echo "$(median "$1" 1) $(median "$1" 2) $(median "$1" 3)"; }

run_tree() {
    tree=$1
    T="$WORK/$tree"
    find "$T" -type f -print0 | xargs -0 cat >/dev/null  # warm the page cache
    rm -f "$WORK"/*.times
    round=0
    while [ "$round" -lt "$ROUNDS" ]; do
        measure "$WORK/cat.times" "$WORK/none" sh -c "find '$T' -type f -print0 | xargs -0 cat >/dev/null"
        measure "$WORK/kv.times" "$WORK/kv.iso" "$CLI" mkiso --udf off -o "$WORK/kv.iso" "$T"
        measure "$WORK/gen.times" "$WORK/gen.iso" genisoimage -quiet -J -R -o "$WORK/gen.iso" "$T"
        measure "$WORK/xo.times" "$WORK/xo.iso" xorriso -as mkisofs -quiet -J -R -o "$WORK/xo.iso" "$T"
        round=$((round + 1))
    done
    set -- $(medians "$WORK/cat.times"); cat_w=$1
    set -- $(medians "$WORK/kv.times"); kv_w=$1; kv_c=$2; kv_m=$3
    set -- $(medians "$WORK/gen.times"); gen_w=$1; gen_c=$2; gen_m=$3
    set -- $(medians "$WORK/xo.times"); xo_w=$1; xo_c=$2; xo_m=$3
    echo
    echo "== $tree tree: $(find "$T" -type f | wc -l) files, $(du -sb "$T" | awk '{print $1}') bytes; medians of $ROUNDS runs"
    echo "cat                          : ${cat_w} s wall"
    echo "kelvadore-cli mkiso          : ${kv_w} s wall, ${kv_c} s CPU, peak ${kv_m} KB, image $(stat -c %s "$WORK/kv.iso") bytes"
    echo "genisoimage -J -R            : ${gen_w} s wall, ${gen_c} s CPU, peak ${gen_m} KB, image $(stat -c %s "$WORK/gen.iso") bytes"
    echo "xorriso -as mkisofs -J -R    : ${xo_w} s wall, ${xo_c} s CPU, peak ${xo_m} KB, image $(stat -c %s "$WORK/xo.iso") bytes"
    echo "ratio mkiso / genisoimage    : wall $(ratio "$kv_w" "$gen_w"), CPU $(ratio "$kv_c" "$gen_c")"
    echo "ratio mkiso / xorriso        : wall $(ratio "$kv_w" "$xo_w"), CPU $(ratio "$kv_c" "$xo_c")"
    rm -f "$WORK"/*.iso
    eval "peak_$tree=$kv_m"
}

for tree in $TREES; do run_tree "$tree"; done

case " $TREES " in
*" small "*)
    # The one-file run shows what every run needs before it holds any file.
    rm -f "$WORK/one.times"
    round=0
    while [ "$round" -lt "$ROUNDS" ]; do
        measure "$WORK/one.times" "$WORK/one.iso" "$CLI" mkiso --udf off -o "$WORK/one.iso" "$WORK/one"
        round=$((round + 1))
    done
    one_m=$(median "$WORK/one.times" 3)
    echo
    echo "memory per file              : $(awk -v a="$peak_small" -v b="$one_m" 'BEGIN { printf "%.0f bytes ((%d - %d) KB / 100 000 files)", (a - b) * 1024 / 100000, a, b }')"
    ;;
esac
