# Sourced by the image benchmarks: the scratch folder and the trees they measure.
# bench_trees NAME PARENT TOOL...: stops unless every TOOL is there and PARENT has about 5 GB
# free; then sets WORK to a new scratch folder under PARENT (removed on exit) holding
#   large: 1000 MiB in 10 files;  small: 100 000 files of 1-4 KiB in 1 000 folders;
#   one:   a single small file (the memory every run needs before it holds any file),
# flushed to disk, so that writeback does not slow whichever program runs first.
bench_trees() {
    local name=$1 parent=$2 tool free_kb
    shift 2
    for tool in "$@" /usr/bin/python3; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$name: missing $tool (GNU time is package 'time')" >&2; exit 2; }
    done
    free_kb=$(df -Pk "$parent" | awk 'NR==2 {print $4}')
    if [ "$free_kb" -lt 5000000 ]; then
        echo "$name: needs about 5 GB free in $parent" >&2
        exit 2
    fi
    WORK=$(mktemp -d "$parent/kv-$name-XXXXXX")
    trap 'rm -rf "$WORK"' EXIT INT TERM
    echo "building trees in $WORK ..."
    /usr/bin/python3 - "$WORK" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(1234)
large = os.path.join(work, "large")
os.makedirs(large)
block = os.urandom(1 << 20)
for i in range(10):
    with open(os.path.join(large, "file%02d.bin" % i), "wb") as f:
        for _ in range(100):
            f.write(block)
small = os.path.join(work, "small")
payload = os.urandom(4096)
for d in range(1000):
    folder = os.path.join(small, "folder%04d" % d)
    os.makedirs(folder)
    for i in range(100):
        with open(os.path.join(folder, "item%03d.dat" % i), "wb") as f:
            f.write(payload[: rng.randint(1024, 4096)])
one = os.path.join(work, "one")
os.makedirs(one)
with open(os.path.join(one, "only.dat"), "wb") as f:
    f.write(payload[:2000])
PY
    sync
}
