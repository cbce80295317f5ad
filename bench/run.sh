#!/usr/bin/env bash
# Times the program's HTTPS download and SHA-256 digest (bench_net.exe under
# Wine) against curl and openssl on this machine, from the same local HTTPS
# fixture server and the same files.
#
#   bash bench/run.sh           256 MiB download, 512 MiB digest, 5 timed runs after a warm-up
#   bash bench/run.sh --quick   1 MiB each, one run: shows the bench still works (CI)
#
# Goals: download at least 0.8 of curl's throughput, digest at least 0.9 of
# openssl's. Run it after scripts/setup.sh; it builds what it needs in
# build/bench and changes nothing outside it.
set -euo pipefail
# Decimal points in the timings, whatever the user's locale.
export LC_ALL=C
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=build/bench
state=$build/testenv
work=$build/bench-data

case "${1:-}" in
  "") download_mib=256 digest_mib=512 warmups=1 runs=5 ;;
  --quick) download_mib=1 digest_mib=1 warmups=0 runs=1 ;;
  *)
    echo "usage: bench/run.sh [--quick]" >&2
    exit 2
    ;;
esac

fail() {
  echo "bench: $*" >&2
  exit 1
}

quietly() { # runs a step with its output in a log, shown only on failure
  local log=$1
  shift
  mkdir -p "$build"
  "$@" >"$build/$log" 2>&1 || {
    cat "$build/$log"
    fail "'$*' failed (log: $build/$log)"
  }
}

# Building needs the network on a fresh machine (the test 7zr.exe is built
# from Debian's source), so it happens before entering the private network.
if [[ "${NOLM_BENCH_BUILT:-}" != 1 ]]; then
  bash scripts/setup.sh
  [[ -f "$build/CMakeCache.txt" ]] || quietly configure.log cmake --preset tests -B "$build"
  quietly build.log cmake --build "$build" -j"$(nproc)" --target bench_net add_root_cert
  # The fixture server takes port 443 in a network namespace of its own.
  NOLM_BENCH_BUILT=1 exec bash scripts/in-private-network.sh bash "$0" "$@"
fi

windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# The seconds of the timed runs in "<mode> seconds=<s> ..." lines, warm-ups dropped.
timed_seconds() { grep "^$1 seconds=" | tail -n +"$((warmups + 1))" | sed 's/.*seconds=\([0-9.]*\).*/\1/'; }

# Wine programs print through a file: Wine's services keep inherited pipes open.
wine_run() { # output file, program, args...
  local out=$1
  shift
  bash tests/env/testenv.sh run "$state" "$@" >"$out" 2>&1
}

state=$(mkdir -p "$state" && cd "$state" && pwd)
work=$(mkdir -p "$work" && cd "$work" && pwd)
exe=$(cd "$build" && pwd)/bench/bench_net.exe
trap 'bash tests/env/testenv.sh stop "$state" >/dev/null 2>&1 || true' EXIT
quietly testenv.log bash tests/env/testenv.sh start "$state" "$build/testdata/add_root_cert.exe"

make_file() { # path, MiB
  if [[ "$(stat -c %s "$1" 2>/dev/null || echo 0)" != $(($2 << 20)) ]]; then
    mkdir -p "$(dirname "$1")"
    head -c "$(($2 << 20))" /dev/urandom >"$1"
  fi
}
served=$state/www/files/localhost/bench/download.bin
make_file "$served" "$download_mib"
make_file "$work/digest.bin" "$digest_mib"
rm -f "$state/www/rules.json"

# Wine's own start-up, measured apart: a bench_net.exe run that does nothing.
for _ in 1 2 3; do
  start=$EPOCHREALTIME
  wine_run "$work/startup.txt" "$exe" || true
  elapsed "$start" "$EPOCHREALTIME"
  echo
done >"$work/startup.times"
startup=$(median <"$work/startup.times")

# Download: HttpsDownload in one Wine process, curl one process per run.
wine_run "$work/download.txt" "$exe" download localhost /bench/download.bin \
  "$(windows_path "$work/ours.bin")" "$((warmups + runs))" ||
  fail "bench_net download failed: $(cat "$work/download.txt")"
wine_run "$work/memory.txt" "$exe" download localhost /bench/download.bin - \
  "$((warmups + runs))" || fail "bench_net download to memory failed: $(cat "$work/memory.txt")"
for i in $(seq "$((warmups + runs))"); do
  start=$EPOCHREALTIME
  curl --silent --show-error --fail --ipv4 --cacert "$state/certs/ca.pem" \
    -o "$work/curl.bin" https://localhost/bench/download.bin
  if [[ $i -gt $warmups ]]; then
    elapsed "$start" "$EPOCHREALTIME"
    echo
  fi
done >"$work/curl.times"
cmp -s "$served" "$work/ours.bin" || fail "HttpsDownload delivered other bytes than served"
cmp -s "$served" "$work/curl.bin" || fail "curl delivered other bytes than served"
rm -f "$work/ours.bin" "$work/curl.bin"

# Digest: FileSha256Hex in one Wine process, openssl one process per run.
wine_run "$work/digest.txt" "$exe" digest "$(windows_path "$work/digest.bin")" \
  "$((warmups + runs))" || fail "bench_net digest failed: $(cat "$work/digest.txt")"
wine_run "$work/read.txt" "$exe" read "$(windows_path "$work/digest.bin")" \
  "$((warmups + runs))" || fail "bench_net read failed: $(cat "$work/read.txt")"
for i in $(seq "$((warmups + runs))"); do
  start=$EPOCHREALTIME
  openssl dgst -sha256 -r "$work/digest.bin" >"$work/openssl.out"
  if [[ $i -gt $warmups ]]; then
    elapsed "$start" "$EPOCHREALTIME"
    echo
  fi
done >"$work/openssl.times"
# The same without the CPU's SHA instructions: what portable hash code does.
for i in $(seq "$((warmups + runs))"); do
  start=$EPOCHREALTIME
  OPENSSL_ia32cap=0:0 openssl dgst -sha256 -r "$work/digest.bin" >/dev/null
  if [[ $i -gt $warmups ]]; then
    elapsed "$start" "$EPOCHREALTIME"
    echo
  fi
done >"$work/portable.times"
ours_digest=$(sed -n 's/.*sha256=\([0-9a-f]*\).*/\1/p' "$work/digest.txt" | tr -d '\r' | head -1)
[[ "$ours_digest" == "$(cut -c1-64 "$work/openssl.out")" ]] ||
  fail "FileSha256Hex and openssl disagree on the digest"

ours_dl=$(tr -d '\r' <"$work/download.txt" | timed_seconds download | median)
curl_dl=$(median <"$work/curl.times")
memory_dl=$(tr -d '\r' <"$work/memory.txt" | timed_seconds download | median)
ours_dg=$(tr -d '\r' <"$work/digest.txt" | timed_seconds digest | median)
ssl_dg=$(median <"$work/openssl.times")
portable_dg=$(median <"$work/portable.times")
read_dg=$(tr -d '\r' <"$work/read.txt" | timed_seconds read | median)

row() { # label, MiB, seconds
  awk -v l="$1" -v m="$2" -v s="$3" 'BEGIN { printf "  %-46s %9.3f s %9.1f MiB/s\n", l, s, m / s }'
}
verdict() { # ours, theirs, goal
  awk -v o="$1" -v t="$2" -v g="$3" \
    'BEGIN { r = t / o; printf "  throughput ratio %.2f (goal >= %.2f): %s\n", r, g, (r >= g ? "met" : "NOT met") }'
}

echo "Median of $runs timed run(s)$([[ $warmups -gt 0 ]] && echo " after $warmups warm-up")."
echo "bench_net: time of the call inside its Wine process; Wine start-up excluded (below)."
echo "curl, openssl: wall time of each process (their start-up is a few ms)."
echo
echo "HTTPS download of $download_mib MiB from the local fixture server"
row "HttpsDownload (bench_net.exe under Wine)" "$download_mib" "$ours_dl"
row "  the same into memory, no file written" "$download_mib" "$memory_dl"
row "curl --cacert ca.pem -o" "$download_mib" "$curl_dl"
verdict "$ours_dl" "$curl_dl" 0.8
echo
echo "SHA-256 of a $digest_mib MiB file (page cache warm)"
row "FileSha256Hex (bench_net.exe under Wine)" "$digest_mib" "$ours_dg"
row "  its reads alone, without hashing" "$digest_mib" "$read_dg"
row "openssl dgst -sha256" "$digest_mib" "$ssl_dg"
verdict "$ours_dg" "$ssl_dg" 0.9
row "openssl, portable code (OPENSSL_ia32cap=0:0)" "$digest_mib" "$portable_dg"
echo
awk -v s="$startup" 'BEGIN { printf "Wine process start-up (median of 3 idle runs, not included above): %.2f s\n", s }'
