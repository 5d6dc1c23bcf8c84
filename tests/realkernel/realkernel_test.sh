#!/usr/bin/env bash
# kelvadore-cli against a real Linux kernel (sr/sg drivers, SG_IO) and one of QEMU's emulated
# CD-ROM drives: it lists the drive, shows its disc, imports the session of an xorriso-made ISO
# and extracts two files, which must come back byte-identical (one in a subfolder, one with
# spaces in its name). Exit 77 (skipped, with a notice) where the machine cannot run QEMU.
#   usage: realkernel_test.sh --scsi|--ide KELVADORE-CLI
set -uo pipefail
bus=${1:?--scsi or --ide} cli=${2:?path of kelvadore-cli}
name=${bus#--}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() { echo "NOTICE: real-kernel test ($name) skipped: $*"; exit 77; }
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed (./kelvadore.sh test installs it)"
command -v xorriso >/dev/null || skip "xorriso is not installed"
[ -x "$cli" ] || { echo "no kelvadore-cli at $cli"; exit 1; }

work=$(mktemp -d /tmp/kv-realkernel.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/Folder"
head -c 200000 /dev/urandom > "$work/tree/Folder/deep.bin"
head -c 70001 /dev/urandom > "$work/tree/name with spaces.txt"
echo "kelvadore" > "$work/tree/readme.txt"
xorriso -as mkisofs -quiet -J -R -V KVREAL -o "$work/disc.iso" "$work/tree" 2>"$work/xorriso.err" ||
    { cat "$work/xorriso.err"; echo "xorriso failed"; exit 1; }

# Runs in the guest (busybox sh) as root; each step ends with a line "== rc=N".
cat > "$work/cmd" <<'EOF'
export KELVADORE_HOME=/tmp/kvhome KELVADORE_VIRTUAL_RECORDERS=off
mkdir -p "$KELVADORE_HOME" /tmp/out
step() { echo "== $*"; "$@"; echo "== rc=$?"; }
step kelvadore-cli drives
step kelvadore-cli --drive /dev/sr0 discinfo
step kelvadore-cli --drive /dev/sr0 import
step kelvadore-cli --drive /dev/sr0 extract /Folder/deep.bin /tmp/out
step kelvadore-cli --drive /dev/sr0 extract "/name with spaces.txt" /tmp/out
for f in /tmp/out/*; do md5sum "$f"; done
EOF

# Without its debug information the program packs into the guest's initramfs faster.
guest_cli=$work/kelvadore-cli
strip --strip-debug -o "$guest_cli" "$cli" 2>/dev/null || guest_cli=$cli
start=$(date +%s)
"$here/qemu-cdrom/run.sh" "--$name" --timeout 300 "$work/disc.iso" "$work/cmd" "$guest_cli=/opt/bin/kelvadore-cli" > "$work/out" 2> "$work/err"
rc=$?
cat "$work/out"
sed 's/^/  (run.sh) /' "$work/err"
echo "real-kernel test ($name): $(( $(date +%s) - start )) s"
# 2: run.sh could not set itself up (no kernel package to fetch, packages missing without root).
[ "$rc" = 2 ] && skip "qemu-cdrom could not prepare the guest: $(tail -n 1 "$work/err")"

failures=0
check() {  # description, extended regular expression expected in the output
    if grep -Eq -- "$2" "$work/out"; then echo "ok   $1"; else echo "FAIL $1 (no /$2/)"; failures=$((failures + 1)); fi
}
check "the guest ran every step" "^===== qemu-cdrom: end of output \(exit status 0\)"
for step in "drives" "--drive /dev/sr0 discinfo" "--drive /dev/sr0 import" \
    "--drive /dev/sr0 extract /Folder/deep.bin /tmp/out" "--drive /dev/sr0 extract /name with spaces.txt /tmp/out"; do
    got=$(awk -v s="== kelvadore-cli $step" '$0 == s {f = 1; next} f && /^== rc=/ {print; exit}' "$work/out")
    if [ "$got" = "== rc=0" ]; then echo "ok   $step"; else echo "FAIL $step (${got:-no result})"; failures=$((failures + 1)); fi
done
check "the drive is listed" "QEMU +QEMU (CD|DVD)-ROM"
check "disc information: ready" "^ready: +yes"
check "disc information: a closed disc" "^disc status: +2"
check "the session's tree is imported" "^Folder/"
check "files in the imported tree" "^  deep\.bin +200000 bytes"
for f in "Folder/deep.bin" "name with spaces.txt"; do
    sum=$(md5sum < "$work/tree/$f" | cut -c1-32)
    check "extracted byte-identical: $f" "^$sum  /tmp/out/${f##*/}\$"
done
[ "$failures" = 0 ] || { echo "real-kernel test ($name): $failures failed"; exit 1; }
echo "real-kernel test ($name): passed"
