#!/usr/bin/env bash
# Build the 7-Zip console extractor 7zr.exe (x86_64 Windows) from Debian's
# `7zip` source package with MinGW-w64, and cache it per machine.
# Stdout: only the absolute path of the cached 7zr.exe. Progress -> stderr/log.
set -euo pipefail

CACHE="${NOLM_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/nolm-shortcut}/7zr"
EXE="$CACHE/7zr.exe"
STAMP="$CACHE/7zr.stamp"
RECIPE=2          # bump when the build recipe changes, to invalidate old caches
log() { echo "build-7zr: $*" >&2; }

# Fast path: a completed build is marked by the stamp (written last).
cached() { [[ -f "$EXE" ]] && grep -qsx "recipe $RECIPE" "$STAMP"; }
if cached; then echo "$EXE"; exit 0; fi

missing=()
for t in apt-get dpkg-source make flock x86_64-w64-mingw32-gcc-posix \
         x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres; do
  command -v "$t" >/dev/null || missing+=("$t")
done
if ((${#missing[@]})); then
  log "missing tools: ${missing[*]}"
  log "(packages: apt, dpkg-dev, make, util-linux, g++-mingw-w64-x86-64-posix, binutils-mingw-w64-x86-64)"
  exit 1
fi

mkdir -p "$CACHE"
BUILDLOG="$CACHE/build.log"
trap 'log "failed at line $LINENO; details in $BUILDLOG"' ERR
exec 9>"$CACHE/.lock"
flock 9                       # serialise concurrent runs; the winner builds,
if cached; then echo "$EXE"; exit 0; fi  # others reuse

# Private apt configuration: the host's /etc/apt is never touched. Derive
# deb-src lines from the host's own (deb822 or one-line) deb entries so the
# source matches the installed release and mirror.
APT="$CACHE/apt"; mkdir -p "$APT/lists/partial" "$APT/cache/archives/partial"
{
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] || continue
    # deb822: blank-line separated stanzas; emit one line per suite.
    awk 'function flush(){ if (ty ~ /(^| )deb( |$)/ && u != "") {
             n = split(s, S, " "); for (i = 1; i <= n; i++)
               printf "deb-src%s %s %s %s\n", (k ? " [signed-by=" k "]" : ""), u, S[i], c }
           ty = u = s = c = k = "" }
         /^[ \t]*$/ { flush(); next }  /^#/ { next }
         { v = $0; sub(/^[^:]*:[ \t]*/, "", v) }
         /^Types:/ { ty = v } /^URIs:/ { split(v, U, " "); u = U[1] }
         /^Suites:/ { s = v } /^Components:/ { c = v } /^Signed-By:/ { k = v }
         /^Enabled:[ \t]*no/ { ty = "" }
         END { flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f "$f" ]] || continue
    sed -n 's/^[ \t]*deb[ \t]/deb-src /p' "$f"
  done
} | sort -u >"$APT/sources.list"
[[ -s "$APT/sources.list" ]] || { log "no deb entries found in /etc/apt"; exit 1; }

APTOPTS=(-o Dir::Etc::SourceList="$APT/sources.list" -o Dir::Etc::SourceParts=/dev/null
         -o Dir::State::Lists="$APT/lists" -o Dir::Cache="$APT/cache")
: >"$BUILDLOG"
log "fetching Debian 7zip source (log: $BUILDLOG)"
apt-get -q "${APTOPTS[@]}" update >>"$BUILDLOG" 2>&1
WORK="$CACHE/work"; rm -rf "$WORK"; mkdir -p "$WORK"
(cd "$WORK" && apt-get -q "${APTOPTS[@]}" source --download-only 7zip) >>"$BUILDLOG" 2>&1
(cd "$WORK" && dpkg-source -x ./7zip_*.dsc src) >>"$BUILDLOG" 2>&1
# 7-Zip 25 (Debian 13) names a Windows header and the Windows libraries in
# the Windows SDK's case: <NTSecAPI.h>, -lUser32. MinGW-w64's are lower case,
# and Linux file names are case-sensitive.
grep -rlZ --include='*.h' --include='*.cpp' --include='*.c' '#include <NTSecAPI.h>' "$WORK/src" |
  xargs -0 -r sed -i 's/#include <NTSecAPI.h>/#include <ntsecapi.h>/'
sed -i -E 's/-l([A-Z][A-Za-z0-9_]*)/-l\L\1/g' "$WORK/src/CPP/7zip/7zip_gcc.mak"

# LDFLAGS_STATIC_2=-static: link libgcc/libstdc++/winpthread in, so the exe
#   imports only Windows system DLLs.
# LFLAGS_STRIP=-s: Debian's "Accept-Debian-build-flags" patch blanks upstream's
#   -s (dh_strip does it for .debs); without it the exe carries the toolchain's
#   debug sections (2.2 MB instead of 1.2 MB).
# DEB_7Z_LDFLAGS (hook added by that same patch): omit the PE link timestamp so
#   rebuilds are byte-identical and the SHA-256 is stable.
log "building 7zr.exe with MinGW-w64 (~80-270 s)"
start=$SECONDS
make -C "$WORK/src/CPP/7zip/Bundles/Alone7z" -j2 -f makefile.gcc IS_MINGW=1 \
  CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix \
  RC=x86_64-w64-mingw32-windres LDFLAGS_STATIC_2=-static LFLAGS_STRIP=-s \
  DEB_7Z_LDFLAGS=-Wl,--no-insert-timestamp >>"$BUILDLOG" 2>&1
log "built in $((SECONDS - start)) s"

cp "$WORK/src/CPP/7zip/Bundles/Alone7z/_o/7zr.exe" "$EXE.tmp" && mv "$EXE.tmp" "$EXE"
dsc=("$WORK"/7zip_*.dsc); ver=${dsc[0]##*/7zip_}
printf 'recipe %s\n7zip source %s\n' "$RECIPE" "${ver%.dsc}" >"$STAMP"
rm -rf "$WORK"                # the sources are not needed once the exe exists
echo "$EXE"
