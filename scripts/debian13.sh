#!/usr/bin/env bash
# A Debian 13 root made from Debian's own packages, so that a Debian 12
# machine also builds with Debian 13's MinGW-w64 (GCC 14, binutils 2.44) and
# tests that build under Wine 10. The root is kept per machine, as the 7zr.exe
# cache is, and reused by every later run.
#
#   debian13.sh prepare        make or update the root: its packages, and the
#                              7zr.exe its tests serve (needs the network)
#   debian13.sh run CMD...     run CMD in the root, in the checkout's current
#                              files copied to /nolm/src (no network needed)
#
# Needs root. Mounts are made in a private mount namespace, so they end with
# the command and the host's own mounts never change.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
checkout=$(cd "$here/.." && pwd)
cache="${NOLM_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/nolm-shortcut}"
root="${NOLM_DEBIAN13_ROOT:-$cache/debian13}"
RECIPE=1 # bump when the root's making changes, to make it anew
log() { echo "debian13: $*" >&2; }

if [[ $(id -u) -ne 0 ]]; then
  log "needs root (debootstrap and chroot)"
  exit 1
fi

# The Debian archive the host itself installs from: the first deb entry for
# the host's own release. The root comes from the same mirror.
host_mirror() {
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  {
    for f in /etc/apt/sources.list.d/*.sources; do
      [[ -f "$f" ]] || continue
      awk -v want="$codename" '
        function flush() { if (ty ~ /(^| )deb( |$)/ && (" " s " ") ~ (" " want " ")) print u; ty = u = s = "" }
        /^[ \t]*$/ { flush(); next }  /^#/ { next }
        { v = $0; sub(/^[^:]*:[ \t]*/, "", v) }
        /^Types:/ { ty = v } /^URIs:/ { split(v, U, " "); u = U[1] } /^Suites:/ { s = v }
        /^Enabled:[ \t]*no/ { ty = "" }
        END { flush() }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [[ -f "$f" ]] || continue
      awk -v want="$codename" '$1 == "deb" { i = 2; if ($2 ~ /^\[/) while ($i !~ /\]$/) i++;
                                            if ($2 ~ /^\[/) i++; if ($(i + 1) == want) print $i }' "$f"
    done
  } | head -n 1
}

# Runs a command in the root with /proc, /sys, /dev and a private /dev/shm.
# The root is a mount of its own, so that the tests' own private mount
# namespaces (unshare -m) can change its propagation as on a machine's "/".
in_root() {
  unshare --mount --propagation private -- bash -c '
    root=$1; shift
    mount --bind "$root" "$root"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    exec chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin CI="${CI:-}" "$@"
  ' bash "$root" "$@"
}

# The checkout's current files (tracked, and new ones not ignored) as a git
# work tree of its own in the root. Its build folder is kept between runs and
# the files keep their times, so a later run builds only what changed.
copy_checkout() {
  local copy="$root/nolm/src"
  mkdir -p "$copy"
  find "$copy" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
  (cd "$checkout" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$checkout" && xargs -0 cp -p --parents -t "$copy" 2>/dev/null || true)
  in_root bash -c 'cd /nolm/src && git init -q && git add -A' >/dev/null
}

prepare() {
  if [[ ! -f "$root/.nolm-root" ]] || ! grep -qsx "recipe $RECIPE" "$root/.nolm-root"; then
    command -v debootstrap >/dev/null || {
      log "installing debootstrap"
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
    }
    local mirror
    mirror=$(host_mirror)
    [[ -n "$mirror" ]] || { log "no Debian archive found in the host's apt sources"; exit 1; }
    log "making the root in $root from $mirror (about 3 minutes)"
    rm -rf "$root"
    mkdir -p "$root"
    debootstrap --variant=minbase --include=ca-certificates,git trixie "$root" "$mirror" \
      >"$root.log" 2>&1 || { tail -n 30 "$root.log" >&2; log "debootstrap failed"; exit 1; }
    echo "recipe $RECIPE" >"$root/.nolm-root"
  fi
  copy_checkout
  # The project's own set-up, and the 7zr.exe that the root's tests serve,
  # built with the root's compiler from the root's 7zip source.
  in_root env NOLM_APT_RECOMMENDS=no bash /nolm/src/scripts/setup.sh
  in_root apt-get clean # the downloaded packages: a third of the root
  in_root bash /nolm/src/scripts/build-7zr.sh >/dev/null
}

case "${1:-}" in
  prepare) prepare ;;
  run)
    shift
    [[ -f "$root/.nolm-root" ]] || { log "no root yet: run 'debian13.sh prepare' first"; exit 1; }
    copy_checkout
    in_root bash -c 'cd /nolm/src && exec "$@"' bash "$@"
    ;;
  *)
    echo "usage: debian13.sh prepare | run CMD..." >&2
    exit 2
    ;;
esac
