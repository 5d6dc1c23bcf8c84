#!/usr/bin/env bash
# Runs a shell command file inside a small KVM guest (Debian kernel, busybox, sg3-utils)
# whose emulated CD-ROM drive holds an ISO image, so that SG_IO code meets the real sr/sg
# drivers and QEMU's MMC emulation. See ../README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: run.sh [--scsi|--ide|--sata] [options] ISO|none CMDFILE [EXTRA...]

  --scsi          virtio-scsi HBA + scsi-cd (default): QEMU's SCSI MMC emulation
  --ide           PIIX IDE + ide-cd (ATAPI through libata/ata_piix)
  --sata          q35 AHCI + ide-cd (the same ATAPI emulation through the ahci driver)
  --timeout S     kill the VM after S seconds (default 120, env QEMU_CDROM_TIMEOUT); exit 124
  --outdir DIR    share host DIR read-write as /out inside the VM (virtio-9p)
  --console       copy the VM's console log (kernel messages) to stderr afterwards
  --keep          keep the per-run work folder and print its path
  --tcg           do not try KVM

ISO is attached read-only; "none" gives a drive with no medium. CMDFILE runs under busybox
sh in the VM, stdout and stderr merged, and its exit status becomes run.sh's. Each EXTRA
(a file or folder) is copied into /opt/bin (on PATH); SRC=/abs/dest copies it to /abs/dest
instead. The shared libraries of ELF extras (per ldd) come along.
Inside the VM: QCD_BUS (scsi|ide|sata), QCD_DEV=/dev/sr0, QCD_SG=/dev/sgN of the drive.
Exit status: the command file's; 124 timeout; 125 VM failed to boot or report; 2 bad usage.
Big artefacts are cached in ${QEMU_CDROM_CACHE:-/tmp/qemu-cdrom-cache} and rebuilt when absent.
EOF
}

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
CACHE=${QEMU_CDROM_CACHE:-/tmp/qemu-cdrom-cache}
TIMEOUT=${QEMU_CDROM_TIMEOUT:-120}
bus=scsi outdir="" show_console=0 keep=0 accel=${QEMU_CDROM_ACCEL:-auto}

die() { echo "qemu-cdrom: $*" >&2; exit 2; }
note() { echo "qemu-cdrom: $*" >&2; }

while [ $# -gt 0 ]; do
    case $1 in
        --scsi) bus=scsi ;;
        --ide) bus=ide ;;
        --sata) bus=sata ;;
        --timeout) [ $# -ge 2 ] || die "--timeout needs a value"; TIMEOUT=$2; shift ;;
        --timeout=*) TIMEOUT=${1#*=} ;;
        --outdir) [ $# -ge 2 ] || die "--outdir needs a value"; outdir=$2; shift ;;
        --outdir=*) outdir=${1#*=} ;;
        --console) show_console=1 ;;
        --keep) keep=1 ;;
        --tcg) accel=tcg ;;
        -h|--help) usage; exit 0 ;;
        --) shift; break ;;
        -*) usage >&2; die "unknown option $1" ;;
        *) break ;;
    esac
    shift
done
[ $# -ge 2 ] || { usage >&2; exit 2; }
iso=$1 cmdfile=$2
shift 2
[[ $TIMEOUT =~ ^[1-9][0-9]*$ ]] || die "bad timeout '$TIMEOUT'"
[ "$iso" = none ] || [ -r "$iso" ] || die "cannot read ISO '$iso'"
[ -r "$cmdfile" ] || die "cannot read command file '$cmdfile'"
if [ -n "$outdir" ]; then
    [ -d "$outdir" ] || die "no folder '$outdir'"
    outdir=$(cd "$outdir" && pwd)
fi
for x in "$@"; do
    src=${x%%=/*}
    [ -e "$src" ] || die "no such extra file '$src'"
done

# ---------------------------------------------------------------- host tools
ensure_tools() {
    local -A pkg_of=([qemu-system-x86_64]=qemu-system-x86 [busybox]=busybox-static
        [sg_raw]=sg3-utils [cpio]=cpio [depmod]=kmod [flock]=util-linux [file]=file)
    local missing=() c
    for c in "${!pkg_of[@]}"; do
        command -v "$c" >/dev/null 2>&1 || missing+=("${pkg_of[$c]}")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    [ "$(id -u)" = 0 ] || die "missing packages: ${missing[*]} (install them as root)"
    note "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq "${missing[@]}" >/dev/null 2>&1 ||
        { apt-get update -qq >/dev/null 2>&1; apt-get install -y -qq "${missing[@]}" >/dev/null; } ||
        die "could not install ${missing[*]}"
}
ensure_tools
mkdir -p "$CACHE"
exec 9>"$CACHE/.lock"

# ---------------------------------------------------------------- kernel
# A Debian kernel unpacked with dpkg -x: the host's own kernel may lack the modules or
# be built for another hypervisor. QEMU_CDROM_KERNEL_DIR may name such a tree instead.
find_kernel() {
    local d
    for d in ${QEMU_CDROM_KERNEL_DIR:-} $(ls -d "$CACHE"/kernel-*/ 2>/dev/null | sort -rV); do
        d=${d%/}
        if compgen -G "$d/boot/vmlinuz-*" >/dev/null && compgen -G "$d/lib/modules/*/modules.dep" >/dev/null; then
            echo "$d"; return 0
        fi
    done
    return 1
}
fetch_kernel() {
    local pkg tmp kver
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    if [ -z "$pkg" ]; then
        apt-get update -qq >/dev/null 2>&1 || true
        pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    fi
    [ -n "$pkg" ] || die "cannot resolve linux-image-amd64 to a kernel package"
    note "fetching $pkg (once)"
    tmp=$(mktemp -d "$CACHE/dl.XXXXXX")
    (cd "$tmp" && apt-get download -qq -o APT::Sandbox::User=root "$pkg" >/dev/null) || die "apt-get download $pkg failed"
    dpkg -x "$tmp"/*.deb "$tmp/root"
    kver=$(ls "$tmp/root/lib/modules" | head -n 1)
    depmod -b "$tmp/root" "$kver"
    rm -rf "$CACHE/kernel-$kver"
    mv "$tmp/root" "$CACHE/kernel-$kver"
    rm -rf "$tmp"
}
flock 9
kdir=$(find_kernel) || { fetch_kernel; kdir=$(find_kernel) || die "no usable kernel after download"; }
vmlinuz=$(ls "$kdir"/boot/vmlinuz-* | sort -V | tail -n 1)
kver=${vmlinuz##*/vmlinuz-}
moddir=$kdir/lib/modules/$kver
[ -f "$moddir/modules.dep" ] || die "no modules.dep for $kver in $kdir"

# ---------------------------------------------------------------- initramfs pieces
# Copies an ELF file (or any file) to ROOT at DEST, plus every library ldd names.
copy_with_libs() {
    local src=$1 root=$2 dest=$3 lib
    mkdir -p "$root$(dirname "$dest")"
    cp -L "$src" "$root$dest"
    [[ $(file -L -b "$src") == ELF*dynamically\ linked* ]] || return 0
    for lib in $(ldd "$src" 2>/dev/null | awk '/=> \// {print $3} /^[ \t]*\/[^ ]+/ {print $1}'); do
        [ -e "$root$lib" ] && continue
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
}

# Writes the .ko paths needed for the given modules, dependencies first.
declare -A MOD_PATH=() MOD_DEPS=() MOD_SEEN=()
read_modules_dep() {
    local path deps name
    while IFS=: read -r path deps; do
        name=${path##*/}; name=${name%%.ko*}; name=${name//-/_}
        MOD_PATH[$name]=$path MOD_DEPS[$name]=$deps
    done < "$moddir/modules.dep"
}
resolve_module() {
    local name=$1 d dn
    [ -n "${MOD_SEEN[$name]:-}" ] && return 0
    MOD_SEEN[$name]=1
    if [ -z "${MOD_PATH[$name]:-}" ]; then
        # Built into this kernel (no .ko) is fine; unknown is not.
        grep -qE "/$name\.ko" "$moddir/modules.builtin" 2>/dev/null || die "kernel $kver has no module $name"
        return 0
    fi
    for d in ${MOD_DEPS[$name]}; do
        dn=${d##*/}; dn=${dn%%.ko*}; resolve_module "${dn//-/_}"
    done
    echo "${MOD_PATH[$name]}"
}
# Copies a module into the initramfs, uncompressed (busybox insmod may lack xz/zstd).
stage_module() {
    local rel=$1 root=$2 out
    out=$root/lib/modules/${rel%.ko*}.ko
    [ -e "$out" ] && return 0
    mkdir -p "$(dirname "$out")"
    case $rel in
        *.ko) cp "$moddir/$rel" "$out" ;;
        *.ko.xz) xz -dc "$moddir/$rel" > "$out" ;;
        *.ko.zst) zstd -qdc "$moddir/$rel" > "$out" ;;
        *.ko.gz) gzip -dc "$moddir/$rel" > "$out" ;;
        *) die "unknown module format $rel" ;;
    esac
}

make_cpio() { (cd "$1" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc -R 0:0 --quiet) | gzip -1; }

build_base() {
    local out=$1 stage group m rel a bin
    stage=$(mktemp -d /tmp/qemu-cdrom-stage.XXXXXX)
    mkdir -p "$stage"/{bin,sbin,usr/bin,usr/sbin,etc/qcd,lib/modules,proc,sys,dev,tmp,mnt,out,opt/bin,qcd,root}
    copy_with_libs "$(command -v busybox)" "$stage" /bin/busybox
    for a in $(busybox --list); do
        [ -e "$stage/bin/$a" ] || ln -s busybox "$stage/bin/$a"
    done
    # sg3-utils as a reference client (sg_raw, sg_inq, sg_readcap, ...); its shell scripts need bash, skip them.
    for bin in $(dpkg -L sg3-utils 2>/dev/null | grep '^/usr/bin/' || ls /usr/bin/sg_*); do
        [ -f "$bin" ] && [[ $(file -L -b "$bin") == ELF* ]] || continue
        copy_with_libs "$bin" "$stage" "/usr/bin/${bin##*/}"
    done
    read_modules_dep
    declare -A groups=([common]="scsi_mod sr_mod sg isofs udf" [scsi]="virtio_pci virtio_scsi"
        [ide]="ata_piix" [sata]="ahci" [9p]="virtio_pci 9pnet_virtio 9p")
    for group in "${!groups[@]}"; do
        MOD_SEEN=()
        : > "$stage/etc/qcd/modules.$group"
        for m in ${groups[$group]}; do
            for rel in $(resolve_module "$m"); do
                stage_module "$rel" "$stage"
                echo "${rel%.ko*}.ko" >> "$stage/etc/qcd/modules.$group"
            done
        done
    done
    cp "$HERE/init.sh" "$stage/init"
    chmod 755 "$stage/init"
    printf 'root:x:0:0:root:/root:/bin/sh\nnobody:x:65534:65534:nobody:/:/bin/sh\n' > "$stage/etc/passwd"
    printf 'root:x:0:\ncdrom:x:24:nobody\nnogroup:x:65534:\n' > "$stage/etc/group"
    # The kernel opens /dev/console for init before devtmpfs is mounted.
    [ "$(id -u)" = 0 ] && mknod "$stage/dev/console" c 5 1
    make_cpio "$stage" > "$out.tmp"
    mv "$out.tmp" "$out"
    rm -rf "$stage"
}

base_key=$( { cat "$HERE/run.sh" "$HERE/init.sh"; echo "$kver"
    dpkg-query -W -f '${Package} ${Version}\n' busybox-static sg3-utils libc6 2>/dev/null || true; } | sha256sum | cut -c1-16)
base=$CACHE/base-$base_key.cpio.gz
if [ ! -s "$base" ]; then
    note "building initramfs base for kernel $kver (once)"
    build_base "$base"
    # Bases of older script versions: keep the last hour's for other checkouts, drop the rest.
    find "$CACHE" -maxdepth 1 -name 'base-*.cpio.gz' ! -name "${base##*/}" -mmin +60 -delete 2>/dev/null || true
fi
flock -u 9

# ---------------------------------------------------------------- per-run overlay
work=$(mktemp -d /tmp/qemu-cdrom-run.XXXXXX)
qpid=""
cleanup() {
    [ -n "$qpid" ] && kill -TERM "$qpid" 2>/dev/null || true
    if [ "$keep" = 1 ]; then note "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

ov=$work/overlay
mkdir -p "$ov/qcd" "$ov/opt/bin"
cp "$cmdfile" "$ov/qcd/cmd"
for x in "$@"; do
    if [[ $x == *=/* ]]; then src=${x%%=/*} dest=/${x#*=/}; else src=$x dest=/opt/bin/${x##*/}; fi
    if [ -d "$src" ]; then
        mkdir -p "$ov$dest"
        while IFS= read -r -d '' f; do
            copy_with_libs "$f" "$ov" "$dest/${f#"$src"/}"
        done < <(find "$src" -type f -print0)
    else
        copy_with_libs "$src" "$ov" "$dest"
    fi
done
make_cpio "$ov" > "$work/overlay.cpio.gz"
cat "$base" "$work/overlay.cpio.gz" > "$work/initrd"

# ---------------------------------------------------------------- qemu
qesc() { printf '%s' "${1//,/,,}"; }    # QEMU option values double their commas
machine=pc
drive="if=none,id=cd0,media=cdrom,readonly=on"
[ "$iso" != none ] && drive+=",format=raw,file=$(qesc "$(readlink -f "$iso")")"
case $bus in
    scsi) cd_dev=(-device "virtio-scsi-pci,id=scsi0" -device "scsi-cd,bus=scsi0.0,drive=cd0${QEMU_CDROM_DEVICE_OPTS:-}") ;;
    ide) cd_dev=(-device "ide-cd,bus=ide.1,unit=0,drive=cd0${QEMU_CDROM_DEVICE_OPTS:-}") ;;
    sata) machine=q35; cd_dev=(-device "ide-cd,bus=ide.0,drive=cd0${QEMU_CDROM_DEVICE_OPTS:-}") ;;
esac
append="console=ttyS0 quiet loglevel=3 printk.devkmsg=on panic=-1 qcd.bus=$bus"
share=()
if [ -n "$outdir" ]; then
    append+=" qcd.out9p=1"
    share=(-fsdev "local,id=qcdout,path=$(qesc "$outdir"),security_model=none"
        -device "virtio-9p-pci,fsdev=qcdout,mount_tag=qcdout")
fi
# shellcheck disable=SC2206
extra_args=(${QEMU_CDROM_QEMU_ARGS:-})

run_vm() {   # $1 = kvm|tcg; leaves qemu's exit status in qrc
    local acc=(-accel tcg)
    [ "$1" = kvm ] && acc=(-enable-kvm -cpu host)
    : > "$work/console.log"; : > "$work/out.log"
    timeout -k 5 "$TIMEOUT" qemu-system-x86_64 -machine "$machine" "${acc[@]}" -m "${QEMU_CDROM_MEM:-2G}" -smp 1 \
        -nodefaults -no-user-config -nographic -no-reboot -monitor none \
        -serial "file:$work/console.log" -serial "file:$work/out.log" \
        -kernel "$vmlinuz" -initrd "$work/initrd" -append "$append" \
        -drive "$drive" "${cd_dev[@]}" "${share[@]}" "${extra_args[@]}" \
        </dev/null >"$work/qemu.out" 2>"$work/qemu.err" &
    qpid=$!
    qrc=0
    wait "$qpid" || qrc=$?
    qpid=""
}

# KVM is used only where a probe boot of this kernel got as far as printing its banner:
# a /dev/kvm can exist yet be unable to run a stock kernel (nested PVM, for one), and
# then the guest spins silently until the timeout. The verdict is cached per host kernel.
choose_accel() {
    [ "$accel" = auto ] || return 0
    if ! [ -r /dev/kvm ] || ! [ -w /dev/kvm ]; then accel=tcg; return 0; fi
    if [ -d /sys/module/kvm_pvm ]; then accel=tcg; return 0; fi
    local f
    f=$CACHE/accel-$( { uname -r; qemu-system-x86_64 --version | head -n 1; echo "$kver"; } | sha256sum | cut -c1-16)
    if [ ! -s "$f" ]; then
        note "probing KVM (once)"
        timeout -k 2 20 qemu-system-x86_64 -enable-kvm -cpu host -m 256M -nodefaults -no-user-config \
            -nographic -no-reboot -monitor none -serial "file:$work/probe.log" -kernel "$vmlinuz" \
            -append "console=ttyS0 panic=-1" </dev/null >/dev/null 2>&1 || true
        if grep -q 'Linux version' "$work/probe.log" 2>/dev/null; then echo kvm > "$f"; else echo tcg > "$f"; fi
    fi
    accel=$(cat "$f")
}
choose_accel
start=$(date +%s.%N)
run_vm "$accel"
if [ "$accel" = kvm ] && ! grep -q QEMU-CDROM-READY "$work/console.log" && grep -qi kvm "$work/qemu.err"; then
    note "KVM failed ($(grep -i -m1 kvm "$work/qemu.err")): retrying with TCG"
    accel=tcg
    start=$(date +%s.%N)
    run_vm tcg
fi
end=$(date +%s.%N)

rc=$(grep -ao 'QEMU-CDROM-RC=[0-9]*' "$work/console.log" | tail -n 1 | cut -d= -f2 || true)
ready=$(grep -ao 'QEMU-CDROM-READY [0-9.]*' "$work/console.log" | head -n 1 | cut -d' ' -f2 || true)

echo "===== qemu-cdrom: output of ${cmdfile##*/} (bus=$bus, accel=$accel) ====="
cat "$work/out.log"
[ -s "$work/out.log" ] && [ "$(tail -c 1 "$work/out.log" | od -An -c | tr -d ' ')" != '\n' ] && echo
echo "===== qemu-cdrom: end of output (exit status ${rc:-none}) ====="

grep -a 'QEMU-CDROM-WARN' "$work/console.log" | sed 's/^.*QEMU-CDROM-WARN/qemu-cdrom: VM warning:/' >&2 || true
[ "$show_console" = 1 ] && { echo "----- VM console -----"; cat "$work/console.log"; } >&2
note "$(printf 'kernel %s, guest ready at %s s of uptime, %.2f s wall in all' "$kver" "${ready:-?}" \
    "$(awk "BEGIN{print $end - $start}")")"

if [ -n "$rc" ]; then exit "$rc"; fi
if [ "$qrc" = 124 ] || [ "$qrc" = 137 ]; then
    note "timed out after $TIMEOUT s: VM killed"
    exit 124
fi
note "the VM ended (qemu status $qrc) without reporting the command's exit status"
{ tail -n 20 "$work/console.log"; cat "$work/qemu.err"; } | sed 's/^/  | /' >&2
exit 125
