#!/usr/bin/env bash
# The 32-bit DLL's machine: an emulated i386 PC (qemu-system-i386) booting a
# Debian i386 root with wine32, which runs the i686 build's programs. Wine
# needs it because a 64-bit-only kernel refuses 32-bit code and qemu-user
# cannot carry Wine.
#
#   scripts/i686-machine.sh --calls FILE --directory FILE.ldif --out DIR
#                           [--directory MORE.ldif ...] [--build DIR]
#   scripts/i686-machine.sh --setup     only make the machine (once)
#
# Each line of the calls file, in one boot, becomes one run of
#   quarlix-exec.exe --format events --directory <first --directory> ...
#   - a line that starts with "-" gives the arguments, as shell words; a
#     --directory among them names one of the --directory files by its name;
#   - a line that starts with a program of the build (win32_calls.exe ...)
#     runs that program with the words that follow;
#   - any other line is the -Q text, as it stands.
# Line N (from 1) writes DIR/N.events (DIR/N.out for another program),
# DIR/N.err and DIR/N.rc; DIR/machine.log says how long the boot and the
# calls took, DIR/console.log is the machine's console. Blank lines and lines
# starting with "#" are skipped but counted.
#
# The machine is made once from Debian's packages, without running any of
# their code: the packages are unpacked on this host (mmdebstrap's extract
# variant), a small initramfs loads the kernel's virtio and ext4 modules
# with a static busybox, and one boot inside the machine runs ldconfig and
# makes the Wine prefix. It is kept in $QUARLIX_CACHE (default
# $XDG_CACHE_HOME/quarlix, else ~/.cache/quarlix) under a name keyed by
# everything that makes it, so reruns and other clones reuse it. Every later
# boot leaves it unchanged (the root disk is a snapshot).
#
# Environment: QUARLIX_CACHE, QUARLIX_DEBIAN_MIRROR (default
# http://deb.debian.org/debian), QUARLIX_I686_TIMEOUT (seconds one boot may
# take, default 3600), QUARLIX_I686_CALL_TIMEOUT (seconds per call, 300).
set -euo pipefail
# Failures stop the making of the machine inside $(machine) too.
shopt -s inherit_errexit
source_dir=$(cd "$(dirname "$0")/.." && pwd)

suite=bookworm
mirror=${QUARLIX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
packages=wine32,linux-image-686,busybox-static,bash,coreutils,libc-bin,base-files,base-passwd,mount
# The kernel's modules the root disk needs, with what they depend on.
modules="virtio_pci virtio_blk crc32c_generic ext4"
cache_root=${QUARLIX_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quarlix}
boot_timeout=${QUARLIX_I686_TIMEOUT:-3600}
call_timeout=${QUARLIX_I686_CALL_TIMEOUT:-300}

usage() {
  sed -n '/^#   scripts/,/^#   scripts.*--setup/p' "$0" | sed 's/^# //' >&2
  exit 2
}

die() { echo "i686-machine: $*" >&2; exit 1; }

# This run's scratch folder, removed however it ends.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/i686-machine.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# --- Making the machine -------------------------------------------------------

# The i386 root, unpacked from the packages and their dependencies; no
# package's script runs (the one boot of set_up_in_guest does what matters).
unpack_root() {
  local root=$1
  nice mmdebstrap --quiet --mode=root --variant=extract --architectures=i386 --format=directory \
    --include="$packages" "$suite" "$root" "$mirror"
  # What base-passwd's scripts would write: root's account.
  cp "$root/usr/share/base-passwd/passwd.master" "$root/etc/passwd"
  cp "$root/usr/share/base-passwd/group.master" "$root/etc/group"
  # What libwine's script writes: the zlib of libz-mingw-w64 marked as one of
  # Wine's builtin DLLs.
  local zlib=$root/usr/i686-w64-mingw32/lib/zlib1.dll
  { head -c 64 "$zlib"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib"; } \
    > "$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
  # What dash's scripts would link: Wine's wineserver is a shell script.
  [ -e "$root/bin/sh" ] || ln -s bash "$root/bin/sh"
  mkdir -p "$root/work"
  rm -rf "$root/usr/share/doc" "$root/usr/share/man" "$root/usr/share/info"
}

# The modules in the order they load: each after what it depends on.
module_order() {
  local tree=$1 seen=" " name
  visit() {
    local file dep
    case "$seen" in *" $1 "*) return ;; esac
    seen="$seen$1 "
    file=$(find "$tree" -name "$1.ko" -print -quit)
    [ -n "$file" ] || die "the kernel has no module $1"
    for dep in $(modinfo -F depends "$file" | tr ',' ' '); do visit "$dep"; done
    echo "$file"
  }
  for name in $modules; do visit "$name"; done
}

# An initramfs of busybox and the modules: mounts the root disk (vda) and the
# work disk (vdb) and hands over to the work disk's guest.sh.
make_initramfs() {
  local root=$1 out=$2 stage=$tmp/initramfs
  mkdir -p "$stage"/{bin,dev,proc,sys,newroot,modules}
  cp "$root/bin/busybox" "$stage/bin/busybox"
  mknod "$stage/dev/console" c 5 1
  local kernel_tree files file
  kernel_tree=$(echo "$root"/lib/modules/*)
  files=$(module_order "$kernel_tree")
  : > "$stage/modules/order"
  for file in $files; do
    cp "$file" "$stage/modules/"
    basename "$file" >> "$stage/modules/order"
  done
  cat > "$stage/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
halt() { echo "initramfs: $*"; echo b > /proc/sysrq-trigger; }
mount -t proc proc /proc
mount -t devtmpfs dev /dev
for module in $(cat /modules/order); do insmod "/modules/$module" || halt "cannot load $module"; done
tries=0
while [ ! -b /dev/vda ] || [ ! -b /dev/vdb ]; do
  tries=$((tries + 1)); [ $tries -le 300 ] || halt "no disks"; sleep 0.1
done
mount -t ext4 /dev/vda /newroot || halt "cannot mount the root disk"
mount -t ext4 /dev/vdb /newroot/work || halt "cannot mount the work disk"
mount --move /dev /newroot/dev
umount /proc
exec switch_root /newroot /bin/bash /work/guest.sh
EOF
  chmod +x "$stage/init"
  (cd "$stage" && find . | LC_ALL=C sort | cpio --quiet -o -H newc | gzip -1) > "$out"
}

# What the first boot runs: the library cache, then the Wine prefix every
# later boot starts from.
set_up_in_guest() {
  cat <<'EOF'
/sbin/ldconfig
/usr/lib/wine/wine wineboot --init
/usr/lib/wine/wineserver -w
test -f "$HOME/.wine/system.reg"
EOF
}

# Wine as the x86_64 tests run it: no display, no Mono or Gecko, our
# opends60; the ANSI code page of C.UTF-8 is 1252. QUARLIX_WINEDEBUG sets
# WINEDEBUG for a developer's run.
wine_environment() {
  cat <<EOF
export PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME=/root USER=root
export WINEDEBUG=${QUARLIX_WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;opends60=n" LC_ALL=C.UTF-8
EOF
}

# The script a boot runs from the work disk: the common start, then the body
# (on stdin), then the orderly end that leaves the work disk whole.
guest_script() {
  cat <<EOF
#!/bin/bash
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t tmpfs tmp /tmp
mkdir -p /dev/shm && mount -t tmpfs shm /dev/shm
read -r booted _ < /proc/uptime
$(wine_environment)
mkdir -p /work/out
status=0
(
set -e
EOF
  cat
  cat <<'EOF'
) > /work/out/guest.log 2>&1 || status=$?
read -r ended _ < /proc/uptime
echo "booted $booted ended $ended status $status" > /work/out/finished
sync
mount -o remount,ro /work
echo b > /proc/sysrq-trigger
EOF
}

# Boots the machine on WORK (a folder that becomes the work disk, with
# guest.sh) and copies the work disk's out/ to OUT. The root disk is written
# only when the fourth argument is "writable".
boot() {
  local dir=$1 work=$2 out=$3 root_mode=${4:-snapshot} image=$tmp/work.img
  local size_mb
  size_mb=$(( $(du -sm "$work" | cut -f1) * 2 + 256 ))
  mkfs.ext4 -q -F -d "$work" "$image" "${size_mb}M" >/dev/null
  local snapshot=,snapshot=on prefix=()
  # The first boot is part of the heavy set-up: it yields to other work.
  [ "$root_mode" = writable ] && snapshot= prefix=(nice)
  local started=$SECONDS rc=0
  # smap off: with it the guest kernel kills every Wine process.
  "${prefix[@]}" timeout "$boot_timeout" qemu-system-i386 -M pc -accel tcg,thread=multi -cpu max,smap=off -smp 2 -m 2048 \
    -no-reboot -display none -monitor none -serial "file:$out/console.log" -nic none \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
    -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
    -drive "file=$dir/root.img,format=raw,if=virtio$snapshot" \
    -drive "file=$image,format=raw,if=virtio" || rc=$?
  local took=$((SECONDS - started))
  debugfs -R "rdump /out $out" "$image" >/dev/null 2>&1 || true
  if [ -d "$out/out" ]; then
    cp -a "$out/out/." "$out/"
    rm -rf "$out/out"
  fi
  [ "$rc" -eq 0 ] || { tail -n 20 "$out/console.log" >&2; die "the machine did not end by itself (status $rc after $took s)"; }
  [ -f "$out/finished" ] || { tail -n 20 "$out/console.log" >&2; die "the machine ended before its script did ($took s)"; }
  local booted ended status
  read -r _ booted _ ended _ status < "$out/finished"
  awk -v b="$booted" -v e="$ended" -v t="$took" \
    'BEGIN {printf "boot %.0f s, calls %.0f s, machine %d s in all\n", b, e - b, t}' > "$out/machine.log"
  [ "$status" -eq 0 ] || { cat "$out/guest.log" >&2; die "the guest's script failed (status $status)"; }
}

# The cache key: every input of the machine, the code that makes it included.
machine_key() {
  { echo "$suite $mirror $packages $modules"
    declare -f unpack_root module_order make_initramfs set_up_in_guest wine_environment make_machine
  } | sha256sum | cut -c1-16
}

# Makes the machine unless it is there; prints its folder. One maker at a
# time: a second waits for the first and then uses its machine.
machine() {
  local dir
  dir=$cache_root/i686-$(machine_key)
  mkdir -p "$cache_root"
  exec 9>"$dir.lock"
  flock 9
  [ -f "$dir/ready" ] || make_machine "$dir" >&2
  flock -u 9
  echo "$dir"
}

make_machine() {
  local dir=$1
  [ "$(id -u)" -eq 0 ] || die "making the machine needs root (mmdebstrap --mode=root, device nodes)"
  for tool in mmdebstrap qemu-system-i386 mkfs.ext4 debugfs cpio modinfo; do
    command -v "$tool" >/dev/null || die "$tool is missing: scripts/install-deps.sh i686"
  done
  rm -rf "$dir" "$dir.new"
  mkdir -p "$dir.new"
  local started=$SECONDS root=$dir.new/root
  echo "i686-machine: making the machine in $dir" >&2
  unpack_root "$root"
  local unpacked=$SECONDS
  cp "$(ls "$root"/boot/vmlinuz-* | head -n 1)" "$dir.new/vmlinuz"
  make_initramfs "$root" "$dir.new/initrd.img"
  mkfs.ext4 -q -F -L i386-root -d "$root" "$dir.new/root.img" 3G >/dev/null
  rm -rf "$root"
  local imaged=$SECONDS work=$tmp/setup
  mkdir -p "$work"
  set_up_in_guest | QUARLIX_WINEDEBUG= guest_script > "$work/guest.sh"
  mkdir -p "$dir.new/setup"
  boot "$dir.new" "$work" "$dir.new/setup" writable
  printf 'unpacked %d s, images %d s, first boot %d s, %d s in all\n' $((unpacked - started)) \
    $((imaged - unpacked)) $((SECONDS - imaged)) $((SECONDS - started)) > "$dir.new/made"
  touch "$dir.new/ready"
  mv "$dir.new" "$dir"
  echo "i686-machine: made in $((SECONDS - started)) s ($(cat "$dir/made"))" >&2
}

# --- Running calls ------------------------------------------------------------

# Writes WORK/calls/N.KIND.args (the command's words, each ended by NUL) for
# each line of the calls file.
plan_calls() {
  local calls=$1 work=$2 default=$3
  /usr/bin/python3 - "$calls" "$work/calls" "$default" <<'EOF'
import os, shlex, sys
calls, folder, default = sys.argv[1:]
os.makedirs(folder)
exe = "/work/bin/quarlix-exec.exe"
with open(calls, "rb") as f:
    lines = f.read().decode("utf-8").split("\n")
if lines and lines[-1] == "":
    lines.pop()
for number, line in enumerate(lines, 1):
    line = line.rstrip("\r")
    if not line.strip() or line.lstrip().startswith("#"):
        continue
    try:
        if line.startswith("-"):
            words = shlex.split(line)
            command = [exe, "--format", "events"] + ([] if "--directory" in words else ["--directory", default]) + words
            kind = "events"
        elif line.split()[0].lower().endswith(".exe"):
            words = shlex.split(line)
            command, kind = ["/work/bin/" + words[0]] + words[1:], "out"
        else:
            command, kind = [exe, "--format", "events", "--directory", default, "-Q", line], "events"
    except ValueError as e:
        sys.exit("line %d of %s: %s" % (number, calls, e))
    with open(os.path.join(folder, "%d.%s.args" % (number, kind)), "wb") as out:
        out.write(b"".join(word.encode("utf-8") + b"\0" for word in command))
EOF
}

run_calls() {
  local calls=$1 out=$2 build=$3
  shift 3
  local directories=("$@") work dir
  [ -f "$calls" ] || die "no calls file $calls"
  [ -f "$build/quarlix-exec.exe" ] || die "no $build/quarlix-exec.exe (cmake --build --preset win32)"
  dir=$(machine)
  work=$tmp/work
  mkdir -p "$work/bin" "$work/files" "$out"
  cp "$build"/*.exe "$build"/*.dll "$work/bin/"
  [ -d "$build/embedded-adsi" ] && cp -r "$build/embedded-adsi" "$work/bin/"
  local file
  for file in "${directories[@]}"; do
    [ -f "$file" ] || die "no directory file $file"
    cp "$file" "$work/files/"
  done
  plan_calls "$calls" "$work" "$(basename "${directories[0]}")" || die "cannot read $calls"
  guest_script > "$work/guest.sh" <<EOF
cd /work/files
/usr/lib/wine/wineserver -p
for args in \$(ls /work/calls | sort -n); do
  name=\${args%.args}
  mapfile -d '' command < "/work/calls/\$args"
  rc=0
  timeout $call_timeout /usr/lib/wine/wine "\${command[@]}" < /dev/null > "/work/out/\$name" 2> "/work/out/\${name%.*}.err" || rc=\$?
  echo \$rc > "/work/out/\${name%.*}.rc"
done
/usr/lib/wine/wineserver -k || true
EOF
  rm -f "$out"/*.events "$out"/*.out "$out"/*.err "$out"/*.rc "$out/finished"
  boot "$dir" "$work" "$out"
  echo "i686-machine: $(ls "$out" | grep -c '\.rc$') calls; $(cat "$out/machine.log")" >&2
}

# --- Arguments ----------------------------------------------------------------

calls="" out="" build=$source_dir/build/win32 setup_only=0
directories=()
while [ $# -gt 0 ]; do
  case "$1" in
    --calls) calls=${2:?}; shift 2 ;;
    --directory) directories+=("${2:?}"); shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    --build) build=${2:?}; shift 2 ;;
    --setup) setup_only=1; shift ;;
    *) usage ;;
  esac
done
if [ "$setup_only" = 1 ]; then
  machine
  exit 0
fi
[ -n "$calls" ] && [ -n "$out" ] && [ ${#directories[@]} -gt 0 ] || usage
run_calls "$calls" "$out" "$build" "${directories[@]}"
