#!/usr/bin/env bash
# Blu-ray media written by kelvadore-cli on the virtual recorder, exported and read by a real Linux
# kernel's ISO 9660 reader: a BD-R with three sessions (the last one closing the disc) mounted at
# its last session, and a BD-RE grown by a second session mounted as it is (sector 16 describes
# the whole volume). Each image is attached to QEMU's CD-ROM drive; every file must come back
# byte-identical. Exit 77 (skipped, with a notice) where the machine cannot run QEMU.
#   usage: realkernel_bluray_test.sh KELVADORE-CLI
set -uo pipefail
cli=${1:?path of kelvadore-cli}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() { echo "NOTICE: real-kernel Blu-ray test skipped: $*"; exit 77; }
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed (./kelvadore.sh test installs it)"
[ -x "$cli" ] || { echo "no kelvadore-cli at $cli"; exit 1; }

work=$(mktemp -d /tmp/kv-realkernel-bd.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/One/Folder" "$work/Two" "$work/Three"
head -c 200000 /dev/urandom > "$work/One/Folder/deep.bin"
head -c 70001 /dev/urandom > "$work/One/name with spaces.txt"
head -c 40000 /dev/urandom > "$work/Two/added.bin"
head -c 3000 /dev/urandom > "$work/Three/last.bin"
kv() { KELVADORE_HOME="$work/home" KELVADORE_TIME_SCALE=1000 "$cli" "$@"; }
fail() { echo "$*"; exit 1; }

kv media create --type bdr "$work/bdr.kvm" >/dev/null || fail "media create bdr failed"
kv --drive "$work/bdr.kvm" burn "$work/One" >/dev/null || fail "first BD-R session failed"
kv --drive "$work/bdr.kvm" burn --import-last "$work/Two" >/dev/null || fail "second BD-R session failed"
kv --drive "$work/bdr.kvm" burn --close --import-last "$work/Three" >/dev/null || fail "closing BD-R session failed"
kv media export "$work/bdr.kvm" "$work/bdr.iso" || fail "BD-R export failed"
last=$(kv media info "$work/bdr.kvm" | awk '/ data start / {for (i = 1; i < NF; i++) if ($i == "start") s = $(i + 1)} END {print s}')

kv media create --type bdre "$work/bdre.kvm" >/dev/null || fail "media create bdre failed"
kv --drive "$work/bdre.kvm" burn "$work/One" >/dev/null || fail "BD-RE burn failed"
kv --drive "$work/bdre.kvm" burn --import-last "$work/Two" >/dev/null || fail "BD-RE growth failed"
kv media export "$work/bdre.kvm" "$work/bdre.iso" || fail "BD-RE export failed"

# Checksums the guest must print: one line per file, relative to the mount point.
expected() { (cd "$work" && for tree in "$@"; do find "$tree" -type f; done | sort | while read -r f; do
    echo "$(md5sum < "$f" | cut -c1-32)  $f"; done); }

failures=0
run_guest() {  # name, image, mount options, trees
    local name=$1 image=$2 options=$3
    shift 3
    cat > "$work/cmd.$name" <<EOF
mount -t iso9660 -o ro$options /dev/sr0 /mnt || exit 3
cd /mnt && find . -type f | sed 's|^\./||' | sort | while read -r f; do echo "\$(md5sum < "\$f" | cut -c1-32)  \$f"; done
EOF
    "$here/qemu-cdrom/run.sh" --scsi --timeout 300 "$image" "$work/cmd.$name" > "$work/out.$name" 2> "$work/err.$name"
    local rc=$?
    [ "$rc" = 2 ] && skip "qemu-cdrom could not prepare the guest: $(tail -n 1 "$work/err.$name")"
    sed -n '/^===== qemu-cdrom: output/,/^===== qemu-cdrom: end/p' "$work/out.$name" | sed '1d;$d' > "$work/got.$name"
    expected "$@" > "$work/want.$name"
    if [ "$rc" = 0 ] && diff "$work/want.$name" "$work/got.$name" > "$work/diff.$name"; then
        echo "ok   $name: the kernel reads $(wc -l < "$work/want.$name") files byte-identical"
    else
        echo "FAIL $name (guest exit status $rc)"
        cat "$work/out.$name" "$work/diff.$name"
        sed 's/^/  (run.sh) /' "$work/err.$name"
        failures=$((failures + 1))
    fi
}
run_guest bdr "$work/bdr.iso" ",sbsector=$last" One Two Three
run_guest bdre "$work/bdre.iso" "" One Two
[ "$failures" = 0 ] || { echo "real-kernel Blu-ray test: $failures failed"; exit 1; }
echo "real-kernel Blu-ray test: passed"
