#!/bin/sh
# Benchmark of ISO image output (kelvadore-cli mkiso) against reading the same files with cat and
# against xorriso -as mkisofs -J, on two trees built in a scratch folder:
#   large: 2 GiB in 40 files;  small: 100 000 files of 1-4 KiB in 1 000 folders.
# Prints wall time, ratios and peak memory (GNU time -v), and the cost of Rock Ridge (mkiso against
# mkiso --no-rock-ridge). All runs read warm files: cat runs first on each tree and also warms the
# page cache for the others.
#
# usage: bench/iso/iso_bench.sh [path/to/kelvadore-cli] [scratch parent folder] [trees: "large small"]
set -eu

CLI=${1:-build/src/cli/kelvadore-cli}
PARENT=${2:-${TMPDIR:-/tmp}}
TREES=${3:-large small}
TIME=/usr/bin/time

for tool in "$CLI" xorriso /usr/bin/python3 "$TIME"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "iso_bench: missing $tool (GNU time is package 'time')" >&2; exit 2; }
done
free_kb=$(df -Pk "$PARENT" | awk 'NR==2 {print $4}')
if [ "$free_kb" -lt 7000000 ]; then
    echo "iso_bench: needs about 7 GB free in $PARENT" >&2
    exit 2
fi

WORK=$(mktemp -d "$PARENT/kv-isobench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

echo "building trees in $WORK ..."
/usr/bin/python3 - "$WORK" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(1234)
large = os.path.join(work, "large")
os.makedirs(large)
size = (2 << 30) // 40
block = os.urandom(1 << 20)
for i in range(40):
    with open(os.path.join(large, "file%02d.bin" % i), "wb") as f:
        left = size
        while left:
            n = min(left, len(block))
            f.write(block[:n])
            left -= n
small = os.path.join(work, "small")
payload = os.urandom(4096)
for d in range(1000):
    folder = os.path.join(small, "folder%04d" % d)
    os.makedirs(folder)
    for i in range(100):
        with open(os.path.join(folder, "item%03d.dat" % i), "wb") as f:
            f.write(payload[: rng.randint(1024, 4096)])
PY

# The trees were just written: flush them first so that writeback does not slow whichever
# program runs first. Every measured program starts with no dirty pages behind it.
sync

# Runs a command under GNU time; prints "seconds max_rss_kb".
measure() {
    sync
    $TIME -v "$@" >"$WORK/out.txt" 2>"$WORK/time.txt" || { cat "$WORK/out.txt" "$WORK/time.txt" >&2; exit 1; }
    awk -F': ' '
        /Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i] }
        /Maximum resident set size/ { m = $2 }
        END { printf "%.2f %d\n", s, m }' "$WORK/time.txt"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

for tree in $TREES; do
    T="$WORK/$tree"
    bytes=$(du -sb "$T" | awk '{print $1}')
    find "$T" -type f -print0 | xargs -0 cat >/dev/null  # warm the page cache
    set -- $(measure sh -c "find '$T' -type f -print0 | xargs -0 cat >/dev/null"); cat_s=$1
    set -- $(measure "$CLI" mkiso -o "$WORK/kv.iso" "$T"); kv_s=$1; kv_kb=$2
    kv_size=$(stat -c %s "$WORK/kv.iso"); rm -f "$WORK/kv.iso"
    set -- $(measure "$CLI" mkiso --no-rock-ridge -o "$WORK/kv.iso" "$T"); kvn_s=$1
    rm -f "$WORK/kv.iso"
    set -- $(measure "$CLI" mkiso --immediate -o "$WORK/kv.iso" "$T"); kvi_s=$1; kvi_kb=$2
    rm -f "$WORK/kv.iso"
    set -- $(measure xorriso -as mkisofs -J -quiet -o "$WORK/xo.iso" "$T"); xo_s=$1; xo_kb=$2
    xo_size=$(stat -c %s "$WORK/xo.iso"); rm -f "$WORK/xo.iso"
    echo
    echo "== $tree tree: $(find "$T" -type f | wc -l) files, $bytes bytes"
    echo "cat                      : ${cat_s} s"
    echo "mkiso (threaded)         : ${kv_s} s, peak ${kv_kb} KB, image ${kv_size} bytes"
    echo "mkiso --no-rock-ridge    : ${kvn_s} s"
    echo "mkiso --immediate        : ${kvi_s} s, peak ${kvi_kb} KB"
    echo "xorriso -as mkisofs -J   : ${xo_s} s, peak ${xo_kb} KB, image ${xo_size} bytes"
    echo "ratio mkiso / cat        : $(ratio "$kv_s" "$cat_s")"
    echo "ratio Rock Ridge / none  : $(ratio "$kv_s" "$kvn_s")"
    echo "ratio mkiso / xorriso    : $(ratio "$kv_s" "$xo_s")"
    echo "ratio immediate / xorriso: $(ratio "$kvi_s" "$xo_s")"
done
