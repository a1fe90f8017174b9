#!/usr/bin/env bash
# Installs the Debian 12 packages that one use of the project needs (as root, or via sudo).
#
#   scripts/install-deps.sh demo   the Linux program alone (scripts/run-demo.sh)
#   scripts/install-deps.sh all    everything the builds, the tests and the release need
#   scripts/install-deps.sh coverage  the native tests with g++ and gcovr (scripts/coverage.sh)
#
# Says in one line what it installs; apt-get's own output is shown only when an install
# fails. A failed update, and a wine32:i386 that cannot be had, take one line each.
set -euo pipefail
what=${1:-all}
# The Linux program: a C++ compiler, and MinGW-w64's windres with the Windows headers for
# its resource script (the host compiler preprocesses it, so no MinGW compiler is needed).
demo=(cmake make g++ binutils-mingw-w64-i686 mingw-w64-common)
case "$what" in
  demo) packages=("${demo[@]}") ;;
  coverage) packages=("${demo[@]}" libgtest-dev googletest gcovr) ;;
  all)
    packages=("${demo[@]}" libgtest-dev googletest clang-format
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
      binutils-mingw-w64-x86-64 wine64
      clang libclang-rt-14-dev libfuzzer-14-dev
      mtools dosfstools xorriso)
    ;;
  *) echo "usage: $0 demo|all|coverage" >&2; exit 2 ;;
esac
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
# apt's words in English, as they are read below.
export DEBIAN_FRONTEND=noninteractive LC_ALL=C
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Runs a command quietly; on failure shows what it said, and fails.
quietly() {
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "install-deps: failed: $*" >&2
    return 1
  fi
}
# apt's first error in the log, or its last line.
apt_said() { { grep -m1 '^E:' "$log" || tail -n1 "$log"; } | sed 's/ *\[IP: [^]]*\]//' | cut -c 1-200; }
# Another apt-get (an automatic update, say) may hold the lock for a while.
apt=("${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600)
# A failed update (a mirror in mid-sync, say) is told in one line: the indexes at hand
# may well serve the install, and a failed install says why.
update() {
  "${apt[@]}" update >"$log" 2>&1 ||
    echo "install-deps: apt-get update failed, installing from the indexes at hand: $(apt_said)" >&2
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}" >&2
  update
  quietly "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
fi
[ "$what" = all ] || exit 0

# Why wine32:i386 did not install, in one line. An i386 library that this machine has
# for its own architecture too must be the same version in both; where the i386 index
# offers neither the version installed nor the one the other index offers (the indexes
# made at different times), apt only says that it cannot resolve, so those are named.
# Otherwise apt's error and the i386 packages it could not install.
why_no_wine32() {
  local wanted native differ names
  wanted=$(grep -o 'Depends: [^ ]*:i386' "$log" | cut -d' ' -f2 | sort -u)
  [ -n "$wanted" ] || { apt_said; return; }
  native=$(dpkg --print-architecture)
  # shellcheck disable=SC2086 # one name a word
  differ=$(apt-cache policy ${wanted//:i386/:$native} $wanted | awk -v a="$native" '
    /^[^ ]/ { split($1, n, ":"); p = n[1]; arch = n[2] == "" ? a : n[2] }
    /Installed:/ { have[p, arch] = $2 }
    /Candidate:/ { offer[p, arch] = $2; if (arch == "i386") names[++count] = p }
    END {
      for (i = 1; i <= count; i++) {
        p = names[i]; v = offer[p, "i386"]
        if (have[p, a] == "" || have[p, a] == "(none)" || v == have[p, a] || v == offer[p, a]) continue
        if (shown++ < 3) printf "%s%s %s vs %s", (shown > 1 ? "; " : ""), p, offer[p, a], v
      }
      if (shown > 3) printf "; and %d more", shown - 3
    }')
  if [ -n "$differ" ]; then
    echo "the $native and i386 indexes offer different versions: $differ"
  else
    names=$(awk 'NR <= 4 { printf "%s%s", (NR > 1 ? ", " : ""), $0 }
      END { if (NR > 4) printf " and %d more", NR - 4 }' <<<"$wanted")
    echo "$(apt_said) (i386 packages not installable: $names)"
  fi
}
# Wine's 32-bit half runs QVL7UNIN.EXE itself, with FreeType, which it only recommends:
# without it dialogs are laid out with no font size, and no button can be clicked. Some
# machines cannot have it (no i386 packages to be had) and some cannot start 32-bit
# programs; there the runs take place in an emulated machine, so its absence does not
# fail the installation. The host's package configuration (the i386 architecture, its
# indexes) changes only where the kernel starts a 32-bit program; an architecture added
# for an install that failed goes again, and the attempt is not repeated for the same
# Wine (the file $tried names it).
tried=${XDG_CACHE_HOME:-$HOME/.cache}/qvl7unin/wine32-not-installable
# A 32-bit program of 93 bytes that exits at once.
starts_32bit() {
  local elf
  elf=$(mktemp)
  printf %b '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0' \
    '\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08' \
    '\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0\xb8\x01\0\0\0\x31\xdb\xcd\x80' >"$elf"
  chmod +x "$elf"
  "$elf" 2>/dev/null
  local code=$?
  rm -f "$elf"
  return "$code"
}
if ! installed wine32:i386 || ! installed libfreetype6:i386; then
  wine=$(apt-cache policy wine64 2>/dev/null | awk '/Candidate:/ { print $2 }')
  if ! starts_32bit; then
    echo "install-deps: this kernel cannot start 32-bit programs: wine32:i386 not installed" >&2
  elif [ "$(cat "$tried" 2>/dev/null)" = "wine $wine" ]; then
    echo "install-deps: wine32:i386 could not be installed for Wine $wine before; not tried again (remove $tried to)" >&2
  else
    echo "install-deps: installing wine32:i386" >&2
    added=
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      "${as_root[@]}" dpkg --add-architecture i386 >"$log" 2>&1 && added=1 || why=$(apt_said)
    fi
    if [ -z "${why:-}" ]; then
      [ -z "$added" ] || update
      "${apt[@]}" install -y --no-install-recommends wine32:i386 libfreetype6:i386 >"$log" 2>&1 ||
        why=$(why_no_wine32)
    fi
    if [ -n "${why:-}" ]; then
      echo "install-deps: wine32:i386 not installed: $why" >&2
      mkdir -p "$(dirname "$tried")" && echo "wine $wine" >"$tried"
      [ -z "$added" ] || "${as_root[@]}" dpkg --remove-architecture i386 2>/dev/null || true
    fi
  fi
fi
# Where 32-bit Wine cannot start here (not installed, or a kernel that cannot start
# 32-bit programs), QVL7UNIN.EXE runs in an emulated machine (scripts/vm.sh), which
# needs QEMU alone of the host: its own kernel and Wine come from the mirror, unpacked
# into a cache rather than installed.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && ! installed qemu-system-x86; then
  echo "install-deps: 32-bit Wine cannot start here; installing qemu-system-x86 for an emulated machine that runs it" >&2
  quietly "${apt[@]}" install -y --no-install-recommends qemu-system-x86
fi
