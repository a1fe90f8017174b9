#!/usr/bin/env bash
# An emulated x86_64 machine that starts 32-bit programs and has Wine's 32-bit half, for
# machines that cannot run QVL7UNIN.EXE under 32-bit Wine themselves.
#
#   scripts/vm.sh build                          makes the machine's cache, if missing
#   scripts/vm.sh run [--timeout S] [--what TEXT] [--keep DIR] -- COMMAND...
#                                                runs COMMAND in it, in the current folder;
#                                                what it leaves in $QVL_VM_KEEP comes to DIR
#
# The machine is QEMU's (qemu-system-x86_64, TCG: no KVM needed) with Debian's own kernel. Its root is this machine's root,
# read-only over 9p, under a layer with 32-bit Wine and the i386 libraries it needs, and
# over all that a file system in its memory that takes every write: nothing it does
# reaches the host but through the job folder, where COMMAND's output and exit code come
# back. COMMAND exits with its own code; 124 when it did not end within S seconds, 125
# when the machine could not be made or started, with the reason in one line.
#
# The cache (${QVL_CACHE:-$XDG_CACHE_HOME/qvl7unin, else ~/.cache/qvl7unin}/vm) holds the
# kernel, its initramfs, the layer, and a Wine prefix of that Wine made once, which
# scripts/wine-prefix.sh unpacks where it would otherwise boot one (about a minute under
# TCG). Nothing is installed on the host but QEMU; the packages come from the host's own
# Debian mirror, with an apt state of the cache's own, and are unpacked, not installed.
# The cache is built in a folder beside it and moved into place whole, so a failed
# build leaves nothing that a later run would trust; it is remade when the build below,
# scripts/wine-prefix.sh, the host's Wine packages or its QEMU change. Runs share the
# cache; a build waits for them, and they for a build, each wait said and bounded.
#
# Stopping this script (a signal to it or to its process group; even a kill -9 of it)
# stops QEMU and everything in the machine.
#
# The Wine prefix is made in the machine within QVL_VM_BUILD_LIMIT seconds (3600).
# QVL_VM_ACCEL=kvm uses KVM instead of TCG where it works; QVL_VM_CPUS and QVL_VM_MEMORY
# (MB) size the machine (2, 4096). QVL_VM_QEMU stands in for QEMU (a test's), and
# "scripts/vm.sh key" prints the key a cache must have been built for.
set -euo pipefail
# Stopped with its reader (a tee, say), it still cleans up rather than die of SIGPIPE.
trap '' PIPE
root=$(cd "$(dirname "$0")/.." && pwd)
cache_top=${QVL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qvl7unin}
cache=$cache_top/vm
say() { echo "vm: $*" >&2; }
die() { # code, reason: one line
  local code=$1
  shift
  say "$*"
  exit "$code"
}


need() { command -v "$1" >/dev/null || die 125 "no $1 here (package $2)"; }

# ---------------------------------------------------------------------------------------
# Building the cache

# The host's Debian archives, as apt sees them, for both architectures.
sources_list() {
  apt-cache policy 2>/dev/null | awk '
    /^ *[0-9]+ (https?|file):/ { uri = $2; split($3, sc, "/"); getline
      if ($0 ~ /o=Debian,/) print "deb [arch=amd64,i386] " uri " " sc[1] " " sc[2] }' | sort -u
}

build() {
  need qemu-system-x86_64 qemu-system-x86
  need apt-get apt
  local work free
  mkdir -p "$cache_top"
  free=$(df -Pm "$cache_top" | awk 'NR == 2 { print $4 }')
  [ "$free" -ge 3000 ] || die 125 "the emulated machine needs 3 GB free in $cache_top, which has $free MB"
  work=$(mktemp -d "$cache_top/.vm-build-XXXXXX")
  # shellcheck disable=SC2064 # the folder is fixed now
  trap "rm -rf '$work'" EXIT
  local started=$SECONDS
  say "building the emulated machine's cache in $cache (once; about 2 GB)"
  mkdir -p "$work/apt/lists/partial" "$work/apt/archives/partial" "$work/debs" "$work/kernel"
  : >"$work/apt/status"
  sources_list >"$work/apt/sources.list"
  [ -s "$work/apt/sources.list" ] || die 125 "no Debian archive among the host's apt sources"
  local apt=(-o Dir::Etc::sourcelist="$work/apt/sources.list" -o Dir::Etc::sourceparts=-
    -o Dir::State::Lists="$work/apt/lists" -o Dir::State::status="$work/apt/status"
    -o Dir::Cache="$work/apt" -o Dir::Cache::archives="$work/apt/archives"
    -o APT::Architecture=i386 -o APT::Architectures::=i386 -o APT::Architectures::=amd64
    -o Debug::NoLocking=1 -o APT::Sandbox::User=root -o Acquire::Retries=3)
  # An index that fails (a mirror in mid-sync) is passed over: the rest may serve.
  apt-get "${apt[@]}" update >"$work/apt.log" 2>&1 || true
  # An empty dpkg state: the whole of 32-bit Wine's closure, whatever the host has. And
  # FreeType, which Wine only recommends: without it a dialog's font has no size, every
  # control is laid out empty, and a click on a button lands outside it.
  apt-get "${apt[@]}" install --download-only -y --no-install-recommends wine32 libfreetype6 \
    >>"$work/apt.log" 2>&1 ||
    die 125 "cannot download 32-bit Wine: $(grep -m1 '^E:' "$work/apt.log" || tail -n1 "$work/apt.log")"
  local kernel
  kernel=$(apt-cache "${apt[@]}" depends linux-image-amd64:amd64 2>/dev/null |
    awk '/Depends: linux-image-/ { print $2; exit }')
  [ -n "$kernel" ] || die 125 "no Debian kernel package (linux-image-amd64) in the host's archives"
  (cd "$work/debs" && apt-get "${apt[@]}" download "$kernel" busybox-static:amd64) \
    >>"$work/apt.log" 2>&1 ||
    die 125 "cannot download the kernel: $(grep -m1 '^E:' "$work/apt.log" || tail -n1 "$work/apt.log")"

  # The layer: the i386 packages, and those of no architecture that the host lacks. Data
  # and settings the host has stay the host's (a Multi-Arch: same package's shared files
  # are the same in both halves); everything else of the layer wins, /lib/ld-linux.so.2
  # above all: a host with gcc's 32-bit libraries has one of its own that looks for
  # libraries in /lib32 alone, and would not find the layer's. Debian's root keeps /lib,
  # /bin and /sbin inside /usr: a real folder of that name in the layer would hide the
  # host's link.
  local layer=$work/layer deb arch name
  mkdir "$layer"
  for deb in "$work"/apt/archives/*.deb; do
    arch=$(dpkg-deb -f "$deb" Architecture) name=$(dpkg-deb -f "$deb" Package)
    if [ "$arch" = all ] && dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'ok installed'; then
      continue
    fi
    dpkg-deb -x "$deb" "$layer" || die 125 "cannot unpack $(basename "$deb")"
  done
  local d
  for d in lib lib32 lib64 bin sbin; do
    [ -d "$layer/$d" ] && ! [ -L "$layer/$d" ] || continue
    if [ -L "/$d" ]; then
      mkdir -p "$layer/usr/$d"
      cp -a "$layer/$d/." "$layer/usr/$d/" && rm -rf "${layer:?}/$d"
    fi
  done
  (cd "$layer" && find ./usr/share ./etc ! -type d -print0 2>/dev/null) | while IFS= read -r -d '' f; do
    if [ -e "/${f#./}" ] || [ -L "/${f#./}" ]; then rm -f "$layer/$f"; fi
  done
  # What libwine's postinst would have done: zlib1.dll, from the MinGW build of zlib,
  # marked in its DOS stub as one of Wine's builtin DLLs, which is how Wine takes it.
  local zlib=$layer/usr/i686-w64-mingw32/lib/zlib1.dll
  [ -f "$zlib" ] || zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
  [ -f "$zlib" ] || die 125 "no zlib1.dll for 32-bit Wine (package libz-mingw-w64)"
  { head -c 64 "$zlib" && printf 'Wine builtin DLL' && head -c 16 /dev/zero && tail -c +97 "$zlib"; } \
    >"$layer/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
  rm -rf "$work/apt/archives"
  [ -x "$layer/usr/lib/wine/wine" ] || die 125 "the layer holds no 32-bit Wine loader"

  # The kernel and an initramfs of busybox, the modules and /init.
  local k=$work/kernel/x initrd=$work/initrd
  # The modules that reach the host's root and stack the layers, each after those it
  # depends on, as the module itself names them (they differ between kernel versions).
  local modules=()
  add_module() {
    local f d
    [[ " ${modules[*]} " == *" $1 "* ]] && return
    f=$(find "$k/lib/modules" -name "$1.ko" -print -quit)
    [ -n "$f" ] || die 125 "the kernel package has no module $1"
    for d in $(grep -a -o 'depends=[^[:cntrl:]]*' "$f" | head -n1 | cut -d= -f2 | tr , ' '); do
      add_module "$d"
    done
    modules+=("$1")
  }
  dpkg-deb -x "$work"/debs/linux-image-*.deb "$k"
  dpkg-deb -x "$work"/debs/busybox-static_*.deb "$work/kernel/bb"
  mkdir -p "$initrd/bin" "$initrd/mod" "$initrd/proc" "$initrd/sys" "$initrd/dev" \
    "$initrd/host" "$initrd/layer" "$initrd/rw" "$initrd/root"
  cp "$work/kernel/bb/bin/busybox" "$initrd/bin/busybox"
  local m
  for m in virtio_pci 9pnet_virtio 9p overlay; do add_module "$m"; done
  for m in "${modules[@]}"; do
    cp "$(find "$k/lib/modules" -name "$m.ko" -print -quit)" "$initrd/mod/"
  done
  printf '%s\n' "${modules[@]}" >"$initrd/mod/order"
  cat >"$initrd/init" <<'EOF'
#!/bin/busybox sh
# Mounts the host's root under the layer and a memory file system, and runs the job.
/bin/busybox --install -s /bin
export PATH=/bin
fail() { echo "vm-init: $*: $(dmesg | tail -n 2 | tr '\n' ' ')"; echo 125 >/root/job/exit 2>/dev/null; poweroff -f; }
mount -t proc proc /proc && mount -t sysfs sys /sys && mount -t devtmpfs dev /dev
for m in $(cat /mod/order); do insmod "/mod/$m.ko" || fail "insmod $m"; done
opts=trans=virtio,version=9p2000.L,msize=512000
mount -t 9p -o "$opts,ro,cache=loose" host /host || fail "mount the host's root"
mount -t tmpfs -o size=90% rw /rw && mkdir /rw/upper /rw/work
# The layer comes as a share of its own: overlayfs refuses a lower layer inside another.
mount -t 9p -o "$opts,ro,cache=loose" layer /layer || fail "mount the layer"
mount -t overlay root -o "lowerdir=/layer:/host,upperdir=/rw/upper,workdir=/rw/work" /root ||
  fail "mount the overlay"
mkdir -p /root/job && mount -t 9p -o "$opts" job /root/job || fail "mount the job folder"
mount -t proc proc /root/proc && mount -t sysfs sys /root/sys && mount -t devtmpfs dev /root/dev
mkdir -p /root/dev/pts /root/dev/shm && mount -t devpts pts /root/dev/pts
# /tmp stays the overlay's: the host's files there (a release's exe, say) show through.
mount -t tmpfs shm /root/dev/shm
[ -e /root/dev/fd ] || ln -s /proc/self/fd /root/dev/fd
ip link set lo up 2>/dev/null
chroot /root /bin/bash /job/job.sh
sync
poweroff -f
EOF
  chmod +x "$initrd/init"
  (cd "$initrd" && find . | "$work/kernel/bb/bin/busybox" cpio -o -H newc 2>/dev/null | gzip -1) \
    >"$work/initrd.gz"
  cp "$k"/boot/vmlinuz-* "$work/vmlinuz"
  rm -rf "$work/kernel" "$work/debs" "$initrd"

  # The saved prefix: made once in the machine, as every run's would be. Most of its
  # 600 MB are copies of Wine's builtin DLLs, which unpacking took half a minute to
  # write; as links to the same files in the layer they cost nothing, and Wine, which
  # reads them only for their builtin mark, follows the link.
  mkdir -p "$work/job"
  VM_DIR=$work run_in "$work/job" "${QVL_VM_BUILD_LIMIT:-3600}" "making the Wine prefix" -- bash -c '
    set -e; scripts/wine-prefix.sh /tmp/prefix win98 32
    dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
    find /tmp/prefix/drive_c -type f | while read -r f; do
      b=$dlls/${f##*/}
      if [ -f "$b" ] && cmp -s "$f" "$b"; then ln -sf "$b" "$f"; fi
    done
    tar -C /tmp/prefix -cf - . | gzip -1 >/job/prefix.tar.gz
    /usr/lib/wine/wine --version >/job/wine-version' ||
    die 125 "making the Wine prefix in the emulated machine failed (exit code $?): $(tail -n 2 "$work/job/out" | tr '\n' ' ')"
  mv "$work/job/prefix.tar.gz" "$work/job/wine-version" "$work/"
  rm -rf "$work/job" "$work/apt"
  echo "$key" >"$work/key"
  rm -rf "$cache.old"
  [ ! -e "$cache" ] || mv "$cache" "$cache.old"
  mv "$work" "$cache"
  rm -rf "$cache.old"
  trap - EXIT
  say "the emulated machine's cache is ready: $(du -sh "$cache" | cut -f1), built in $((SECONDS - started)) s"
}

# ---------------------------------------------------------------------------------------
# Running

# TCG, which needs nothing of the host and behaves alike everywhere; KVM only when asked
# for: on a host that is itself a virtual machine, /dev/kvm may open and then never run
# the guest (seen here: no console output in two minutes, where TCG booted in nine s).
accel() { echo "${QVL_VM_ACCEL:-tcg}"; }

# run_in JOB TIMEOUT WHAT -- COMMAND...: COMMAND in the machine of $VM_DIR, in the
# current folder, with the job folder JOB as /job.
run_in() {
  local job=$1 limit=$2 what=$3
  shift 4
  local dir=${VM_DIR:-$cache} a cpu env_lines='' v
  a=$(accel)
  # TCG in QEMU 7.2 oopses the guest at every 32-bit process's iret with SMAP on.
  case "$a" in kvm) cpu=host ;; *) cpu=max,-smap ;; esac
  for v in $(compgen -e); do
    case "$v" in CI | QVL_* | SOURCE_DATE_EPOCH | TZ | LC_ALL) env_lines+="export $v=$(printf %q "${!v}")"$'\n' ;; esac
  done
  cat >"$job/job.sh" <<EOF
# What the machine runs, made by scripts/vm.sh.
ldconfig 2>/dev/null
export HOME=/root PATH=$(printf %q "$PATH")
[ ! -f $(printf %q "$dir/prefix.tar.gz") ] || export QVL_WINE32_PREFIX=$(printf %q "$dir/prefix.tar.gz")
$env_lines
echo >/job/started
mkdir -p /job/keep && export QVL_VM_KEEP=/job/keep
cd $(printf %q "$PWD") || exit 125
code=0
$(printf '%q ' "$@") >/job/out 2>&1 </dev/null || code=\$?
echo \$code >/job/exit
EOF
  : >"$job/out"
  rm -f "$job/exit" "$job/started"
  local started=$SECONDS code=0 qemu
  say "$what: starting the emulated machine ($a, ${QVL_VM_CPUS:-2} CPUs; its limit $limit s)"
  # The output as it comes; tail ends with this script, even with a kill -9 of it.
  tail --pid=$$ -n +1 -f "$job/out" &
  local tailer=$!
  # QEMU stays in this script's process group (timeout made one of its own, which a kill
  # of the caller's group missed), dies with this script (a kill -9 of it included), and
  # does not hold the cache's lock, which is this script's alone.
  # shellcheck disable=SC2086 # a stand-in's words
  setpriv --pdeathsig KILL -- ${QVL_VM_QEMU:-qemu-system-x86_64} -accel "$a" -cpu "$cpu" \
    -smp "${QVL_VM_CPUS:-2}" -m "${QVL_VM_MEMORY:-4096}" -display none -monitor none \
    -serial "file:$job/console" -no-reboot \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.gz" \
    -append "console=ttyS0 quiet panic=-1" \
    -virtfs "local,path=$dir/layer,mount_tag=layer,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=$job,mount_tag=job,security_model=none,multidevs=remap" \
    >"$job/qemu.log" 2>&1 9>&- &
  qemu=$!
  # Stopped, it waits for QEMU to end before its EXIT trap removes the job folder.
  # shellcheck disable=SC2064 # the processes are known now
  trap "kill $qemu $tailer 2>/dev/null; wait $qemu 2>/dev/null; exit 130" INT
  # shellcheck disable=SC2064
  trap "kill $qemu $tailer 2>/dev/null; wait $qemu 2>/dev/null; exit 143" TERM HUP
  while kill -0 "$qemu" 2>/dev/null && [ $((SECONDS - started)) -lt "$limit" ]; do sleep 1; done
  if kill -0 "$qemu" 2>/dev/null; then
    kill "$qemu" 2>/dev/null
    sleep 5
    kill -9 "$qemu" 2>/dev/null || true
    code=124
  fi
  wait "$qemu" 2>/dev/null || [ "$code" = 124 ] || code=$?
  trap - INT TERM HUP
  sleep 0.2
  kill "$tailer" 2>/dev/null || true
  wait "$tailer" 2>/dev/null || true
  local console
  console=$(tail -n 3 "$job/console" 2>/dev/null | tr -d '\r' | tr '\n' '|')
  if [ "$code" = 124 ]; then
    say "$what: not done within the machine's limit of $limit s; stopped. Its console's last lines: ${console:-none}"
    return 124
  fi
  if [ ! -s "$job/exit" ]; then
    say "$what: the emulated machine $([ -e "$job/started" ] && echo "stopped before the command ended" || echo "did not start the command") (QEMU exit code $code: $(tail -n1 "$job/qemu.log")). Its console's last lines: ${console:-none}"
    return 125
  fi
  say "$what: done in $((SECONDS - started)) s"
  return "$(cat "$job/exit")"
}

# What the cache was made by: the build below, the prefix's script, and what the machine
# takes from the host beside its root: the host's own Wine (its files of no architecture
# stay the host's) and QEMU. A change to any of them makes a new one.
key=$({
  declare -f build
  cat "$root/scripts/wine-prefix.sh"
  dpkg-query -W -f='${binary:Package} ${Version}\n' 2>/dev/null |
    grep -E '^(wine|libwine|fonts-wine|libz-mingw|qemu-system-x86)' || true
} | sha256sum | cut -c 1-16)

# The lock on the cache: runs share it, a build holds it alone. A wait says what it
# waits for and ends, with a message, at its bound (QVL_VM_LOCK_WAIT seconds).
lock() { # -s or -x, what it is for
  flock -n "$1" 9 && return
  local bound=${QVL_VM_LOCK_WAIT:-3600}
  say "waiting for $cache_top/.vm.lock ($2; $([ "$1" = -s ] && echo "a build of the cache holds it" || echo "runs use the cache")), $bound s at most (QVL_VM_LOCK_WAIT)"
  flock -w "$bound" "$1" 9 || die 125 "$2: $cache_top/.vm.lock still held after $bound s (QVL_VM_LOCK_WAIT); nothing run"
}

# The cache, built when missing or made by another build: one build at a time, a build
# folder that a killed build left removed by the next, and no build while a run uses it.
ensure() {
  mkdir -p "$cache_top"
  exec 9>"$cache_top/.vm.lock"
  lock -s "to use the emulated machine's cache"
  [ "$(cat "$cache/key" 2>/dev/null)" != "$key" ] || return 0
  lock -x "to build the emulated machine's cache"
  if [ "$(cat "$cache/key" 2>/dev/null)" != "$key" ]; then
    rm -rf "$cache_top"/.vm-build-*
    (build) || exit 125
  fi
  lock -s "to use the emulated machine's cache"
}

case "${1:-}" in
  build) ensure ;;
  key) echo "$key" ;;
  run)
    shift
    limit=3600 what="the command" keep=
    while [ $# -gt 0 ]; do
      case "$1" in
        --timeout) limit=$2; shift 2 ;;
        --what) what=$2; shift 2 ;;
        --keep) keep=$2; shift 2 ;;
        --) shift; break ;;
        *) die 2 "unknown option $1" ;;
      esac
    done
    [ $# -gt 0 ] || die 2 "run: no command"
    ensure
    job=$(mktemp -d)
    trap 'rm -rf "$job"' EXIT
    code=0
    run_in "$job" "$limit" "$what" -- "$@" || code=$?
    [ -z "$keep" ] || [ ! -d "$job/keep" ] || cp -r "$job/keep/." "$keep/"
    exit "$code"
    ;;
  *) die 2 "usage: $0 build | run [--timeout S] [--what TEXT] [--keep DIR] -- COMMAND..." ;;
esac
