#!/usr/bin/env bash
# The benchmark suite: every figure of the shortcut beside its floor and its
# goal, measured under the same Wine, from the same local HTTPS fixture server
# and the same files in one run, printed as one table of medians.
#
#   bash bench/suite.sh           full sizes, 5 timed runs after a warm-up (3-4 min once built)
#   bash bench/suite.sh --quick   tiny sizes, one run: shows the suite still works
#
# It builds what it needs after scripts/setup.sh (the tests build in
# build/bench, or NOLM_BENCH_BUILD; for the sizes, a release build beside it,
# build/bench-release), starts the test environment in a private network
# namespace and stops it at the end. It never fails on a figure: it exits
# non-zero only when it could not measure.
#
# Inside CTest (the bench_quick test) the test environment is already up in
# the namespace and holds port 443, so the suite measures in that one instead:
# NOLM_BENCH_STATE names its state folder and NOLM_BENCH_BUILD the build tree
# whose programs to take. Nothing is built or started then, and what the suite
# served is removed again at the end.
set -euo pipefail
# Decimal points in the timings, whatever the user's locale.
export LC_ALL=C
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD

case "${1:-}" in
  "") quick=0 download_mib=256 digest_mib=512 install_mib=128 warmups=1 runs=5 frame_runs=15 frames=60 ;;
  --quick) quick=1 download_mib=1 digest_mib=1 install_mib=1 warmups=0 runs=1 frame_runs=1 frames=3 ;;
  *)
    echo "usage: bench/suite.sh [--quick]" >&2
    exit 2
    ;;
esac
# Frames bench_paint draws before the timed ones (caches, first-use costs).
paint_warmups=$((quick ? 0 : 10))

fail() {
  echo "bench: $*" >&2
  exit 1
}

quietly() { # runs a step with its output in a log, shown only on failure
  local log=$1
  shift
  mkdir -p "$logs"
  "$@" >"$logs/$log" 2>&1 || {
    cat "$logs/$log"
    fail "'$*' failed (log: $logs/$log)"
  }
}

if [[ -n "${NOLM_BENCH_STATE:-}" ]]; then
  [[ -n "${NOLM_BENCH_BUILD:-}" ]] || fail "NOLM_BENCH_STATE needs NOLM_BENCH_BUILD (the build tree)"
  build=$NOLM_BENCH_BUILD state=$NOLM_BENCH_STATE own_env=0
  release=""
else
  # NOLM_BENCH_BUILD may name another tests build tree (its release twin gets "-release").
  build=${NOLM_BENCH_BUILD:-build/bench} own_env=1
  state=$build/testenv
  # The quick run takes the sizes from the tests build: same flags, no second build.
  release=$([[ $quick == 1 ]] || echo "$build-release")
fi
logs=$build/bench-logs

# Building needs the network on a fresh machine (the test 7zr.exe is built
# from Debian's source), so it happens before entering the private network.
if [[ $own_env == 1 && "${NOLM_BENCH_BUILT:-}" != 1 ]]; then
  bash scripts/setup.sh
  [[ -f "$build/CMakeCache.txt" ]] || quietly configure.log cmake --preset tests -B "$build"
  quietly build.log cmake --build "$build" -j"$(nproc)" --target nolm-shortcut driver \
    test_launcher exit_code add_root_cert file_holder bench_net bench_paint floor_splash floor_thread \
    signed_shortcut
  if [[ -n "$release" ]]; then
    # The size floor comes from the same release configuration, built from
    # bench/floors as a project of its own (the release tree has no benchmarks).
    [[ -f "$release/CMakeCache.txt" ]] ||
      quietly release-configure.log cmake --preset release -B "$release" -DNOLM_DOWNLOAD_HOST=localhost
    quietly release-build.log cmake --build "$release" -j"$(nproc)" --target nolm-shortcut
    [[ -f "$release/floors/CMakeCache.txt" ]] ||
      quietly floors-configure.log cmake -S bench/floors -B "$release/floors" \
        --toolchain "$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel
    quietly floors-build.log cmake --build "$release/floors" --target floor_thread
  fi
  # The fixture server takes port 443 in a network namespace of its own.
  NOLM_BENCH_BUILT=1 exec bash scripts/in-private-network.sh bash "$0" "$@"
fi

build=$(cd "$build" && pwd)
state=$(mkdir -p "$state" && cd "$state" && pwd)
work=$build/bench-data
mkdir -p "$work"
source "$root/bench/suite_lib.sh"

data=$build/testdata
shortcut=$build/nolm-shortcut.exe
# The same sources pinning the tests' release keys a and b.
signed_shortcut=$build/signed-release/nolm-shortcut.exe
driver=$data/driver.exe
floor_splash=$build/bench/floor_splash.exe
www=$state/www/files
served=()
holders=()
# Security software, played by file_holder.exe: each new file under the
# profile's Nolm folder held for 1 s once its writer has closed it, sharing
# nothing or sharing reads. One holder per variant watches all its runs.
start_holder() { # variant, share mode
  local folder=$work/install-$1
  mkdir -p "$folder"
  rm -f "$folder/holder.ready" "$folder/holder.until"
  bash tests/env/testenv.sh run "$state" "$data/file_holder.exe" \
    --root "$(windows_path "$folder/profile/Nolm")" --hold-ms 1000 --share "$2" \
    --ready "$(windows_path "$folder/holder.ready")" \
    --until "$(windows_path "$folder/holder.until")" --max-seconds 3600 >"$folder/holder.log" 2>&1 &
  holders+=("$!:$folder")
  for _ in $(seq 600); do
    [[ -f "$folder/holder.ready" ]] && return
    sleep 0.1
  done
  fail "file_holder.exe never got ready: $folder/holder.log"
}
stop_holders() {
  local holder
  for holder in "${holders[@]}"; do
    touch "${holder#*:}/holder.until"
    wait "${holder%%:*}" || true
  done
  holders=()
}
cleanup() {
  stop_holders
  rm -f "${served[@]}" "$work/launcher.7z"
  if [[ $own_env == 1 ]]; then bash tests/env/testenv.sh stop "$state" >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT
[[ $own_env == 0 ]] || quietly testenv.log bash tests/env/testenv.sh start "$state" "$data/add_root_cert.exe"
for program in "$shortcut" "$signed_shortcut" "$driver" "$data/test_launcher.exe" "$data/exit_code.exe" "$data/7zr.exe" \
  "$data/file_holder.exe" ${NOLM_BENCH_PREVIOUS:+"$NOLM_BENCH_PREVIOUS"} \
  "$build/bench/bench_net.exe" "$build/bench/bench_paint.exe" "$floor_splash"; do
  [[ -f "$program" ]] || fail "$program is missing: build the tests first"
done
# A rule left by an earlier run (a throttle, an error) would change every figure.
rm -f "$state/www/rules.json"

rm -f "$work"/*.times
echo "bench: measuring: median of $runs timed run(s)$([[ $warmups -gt 0 ]] && echo " after $warmups warm-up")" >&2
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- Wine's own start costs, the unit of the table's "starts" column --------

# From the shell: a bench_net.exe run that does nothing.
for _ in $(seq $((quick ? 1 : 3))); do
  start=$EPOCHREALTIME
  wine_run "$work/startup.txt" "$build/bench/bench_net.exe" || true
  elapsed "$start" "$EPOCHREALTIME"
done >"$work/wine-start.times"
# Inside a running Wine session, as the driver starts every program measured:
# a copy of exit_code.exe (it leaves a record beside itself) from start to exit.
cp "$data/exit_code.exe" "$work/exit_code.exe"
for run in $(seq $((warmups + runs))); do
  drive "$work/spawn.txt" --exe="$(windows_path "$work/exit_code.exe")"
  ms=$(seen_ms "$work/spawn.txt" exit_ms "exit_code.exe's exit")
  if timed_run "$run"; then echo "$ms" >>"$work/process-start.times"; fi
done

# ---- start to first frame ---------------------------------------------------
# The driver's clock starts just before CreateProcessW and stops when the
# splash window first reads as visible: shown, its first paint under way.
# The launcher is installed (and exits at once), so nothing is downloaded.

[[ -f "$work/art/title.png" ]] || quietly art.log python3 tools/make_demo_art.py "$work/art"
art_args="\"$(windows_path "$work/art/splash.png")\" \"$(windows_path "$work/art/title.png")\""
profile=$work/installed-profile
rm -rf "$profile"
mkdir -p "$profile/Nolm/Launcher"
cp "$data/test_launcher.exe" "$profile/Nolm/Launcher/launcher.exe"
printf 'NOLMPCK bench pack\n' >"$profile/Nolm/Launcher/launcher.pck"
printf 'exit\n' >"$profile/Nolm/Launcher/mode.txt"
make_game "$work/game-plain" 0
make_game "$work/game-art" 1
[[ -z "${NOLM_BENCH_PREVIOUS:-}" ]] || make_game "$work/game-previous" 1 "$NOLM_BENCH_PREVIOUS"
# A first frame takes a tenth of a second: the noise of a shared machine
# needs more runs than the longer figures.
for run in $(seq $((warmups + frame_runs))); do
  for variant in plain art; do
    drive "$work/frame.txt" --exe="$(windows_path "$work/game-$variant/nolm-shortcut.exe")" \
      --env=USERPROFILE="$(windows_path "$profile")" --close-after=0
    ours=$(seen_ms "$work/frame.txt" splash_visible_ms "the shortcut's splash")
    floor_args=()
    if [[ $variant == art ]]; then floor_args=(--args="$art_args"); fi
    drive "$work/frame.txt" --exe="$(windows_path "$floor_splash")" "${floor_args[@]}" --close-after=0
    floor=$(seen_ms "$work/frame.txt" splash_visible_ms "floor_splash's window")
    if timed_run "$run"; then
      echo "$ours" >>"$work/frame-ours-$variant.times"
      echo "$floor" >>"$work/frame-floor-$variant.times"
    fi
    # The A/B: the earlier build with the same artwork, in the same rounds.
    if [[ $variant == art && -n "${NOLM_BENCH_PREVIOUS:-}" ]]; then
      drive "$work/frame.txt" --exe="$(windows_path "$work/game-previous/nolm-shortcut.exe")" \
        --env=USERPROFILE="$(windows_path "$profile")" --close-after=0
      previous=$(seen_ms "$work/frame.txt" splash_visible_ms "the previous build's splash")
      if timed_run "$run"; then echo "$previous" >>"$work/frame-previous-art.times"; fi
    fi
  done
done

# The floor's memory with the same artwork, once it has painted and settled.
for _ in $(seq "$runs"); do
  drive "$work/memory.txt" --exe="$(windows_path "$floor_splash")" --args="$art_args" \
    --close-after=1000 --memory
  seen_ms "$work/memory.txt" private_bytes_max "floor_splash's memory" >>"$work/memory-floor.times"
done

# ---- painting: one frame composed, in one process ----------------------------

wine_run "$work/paint-art.txt" "$build/bench/bench_paint.exe" $((paint_warmups + frames)) \
  "$(windows_path "$work/art/splash.png")" "$(windows_path "$work/art/title.png")" ||
  fail "bench_paint failed: $(cat "$work/paint-art.txt")"
wine_run "$work/paint-plain.txt" "$build/bench/bench_paint.exe" $((paint_warmups + frames)) ||
  fail "bench_paint failed: $(cat "$work/paint-plain.txt")"

# ---- download and digest ---------------------------------------------------

download=$www/localhost/bench/download.bin
random_file "$download" "$download_mib"
# Kept between runs of the suite's own environment, like digest.bin.
[[ $own_env == 1 ]] || served+=("$download")
random_file "$work/digest.bin" "$digest_mib"
bench_net=$build/bench/bench_net.exe
# One process per download, taking turns round by round, so that the drift of
# a shared machine falls on all of them alike; --warm keeps each process's
# first TLS set-up out of the clock.
rm -f "$work"/download*.txt "$work"/winhttp-*.txt
net_run() { # output file (appended), bench_net args...
  local out=$1
  shift
  wine_run "$out.run" "$bench_net" --warm "$@" || fail "bench_net $* failed: $(cat "$out.run")"
  cat "$out.run" >>"$out"
}
for run in $(seq "$((warmups + runs))"); do
  settle
  net_run "$work/download.txt" download localhost /bench/download.bin "$(windows_path "$work/ours.bin")"
  settle
  net_run "$work/winhttp-file.txt" winhttp localhost /bench/download.bin 64 \
    "$(windows_path "$work/bare.bin")"
  net_run "$work/download-memory.txt" download localhost /bench/download.bin -
  net_run "$work/winhttp-64.txt" winhttp localhost /bench/download.bin 64 -
  net_run "$work/winhttp-1024.txt" winhttp localhost /bench/download.bin 1024 -
  settle
  start=$EPOCHREALTIME
  curl --silent --show-error --fail --ipv4 --cacert "$state/certs/ca.pem" \
    -o "$work/curl.bin" https://localhost/bench/download.bin || fail "curl failed"
  if timed_run "$run"; then elapsed "$start" "$EPOCHREALTIME" >>"$work/curl.times"; fi
done
settle
wine_run "$work/write.txt" "$bench_net" write "$(windows_path "$work/write.bin")" "$download_mib" \
  "$((warmups + runs))" || fail "bench_net write failed: $(cat "$work/write.txt")"
cmp -s "$download" "$work/ours.bin" || fail "HttpsDownload delivered other bytes than served"
cmp -s "$download" "$work/curl.bin" || fail "curl delivered other bytes than served"
cmp -s "$download" "$work/bare.bin" || fail "the bare WinHTTP download stored other bytes than served"
rm -f "$work/ours.bin" "$work/curl.bin" "$work/bare.bin" "$work/write.bin" "$work"/*.txt.run

wine_run "$work/digest.txt" "$bench_net" digest "$(windows_path "$work/digest.bin")" \
  "$((warmups + runs))" || fail "bench_net digest failed: $(cat "$work/digest.txt")"
wine_run "$work/read.txt" "$bench_net" read "$(windows_path "$work/digest.bin")" \
  "$((warmups + runs))" || fail "bench_net read failed: $(cat "$work/read.txt")"
wine_run "$work/hash.txt" "$bench_net" hash "$digest_mib" 1024 "$((warmups + runs))" ||
  fail "bench_net hash failed: $(cat "$work/hash.txt")"
# The platform's floor for a signed install's extra work: CNG's SHA-256 over
# the archive's bytes in the download's 64 KiB pieces, nothing else.
wine_run "$work/hash-install.txt" "$bench_net" hash "$install_mib" 64 "$((warmups + runs))" ||
  fail "bench_net hash failed: $(cat "$work/hash-install.txt")"
for run in $(seq "$((warmups + runs))"); do
  start=$EPOCHREALTIME
  openssl dgst -sha256 -r "$work/digest.bin" >"$work/openssl.out"
  if timed_run "$run"; then elapsed "$start" "$EPOCHREALTIME" >>"$work/openssl.times"; fi
  # The same without the CPU's SHA instructions: what portable hash code does.
  start=$EPOCHREALTIME
  OPENSSL_ia32cap=0:0 openssl dgst -sha256 -r "$work/digest.bin" >/dev/null
  if timed_run "$run"; then elapsed "$start" "$EPOCHREALTIME" >>"$work/portable.times"; fi
done
ours_digest=$(sed -n 's/.*sha256=\([0-9a-f]*\).*/\1/p' "$work/digest.txt" | tr -d '\r' | head -1)
[[ "$ours_digest" == "$(cut -c1-64 "$work/openssl.out")" ]] ||
  fail "FileSha256Hex and openssl disagree on the digest"

# ---- first installation -------------------------------------------------------
# The whole fresh install, from the shortcut's start until the installed
# launcher's window appears, with and without artwork (painting the progress
# competes with the installation for the CPU). The floor is the same archive
# fetched by curl from the same server plus the same 7zr.exe extracting it,
# started from a running Wine session as the shortcut starts it, with the
# shortcut's own command line and folder layout.

staging=$work/archive
rm -rf "$staging" "$work/launcher.7z"
mkdir -p "$staging"
cp "$data/test_launcher.exe" "$staging/launcher.exe"
head -c "$((install_mib << 20))" /dev/urandom >"$staging/launcher.pck"
(cd "$staging" && "$(command -v 7zz || command -v 7z)" a -t7z -bd -bso0 -bsp0 -mx=1 "$work/launcher.7z" . >/dev/null) ||
  fail "7-Zip could not make the launcher archive"
rm -rf "$staging"
# Signed as a publisher signs a release; the unsigned build ignores both.
mkdir -p "$work/release/launcher"
printf '{"version": "1.0.0"}' >"$work/release/launcher/version.json"
ln -sf "$work/launcher.7z" "$work/release/launcher/launcher.7z"
python3 tools/sign_release.py "$work/release" --key "$data/release-keys/a.pem" >/dev/null ||
  fail "tools/sign_release.py could not sign the bench's release"
serve localhost /launcher/version.json "$work/release/launcher/version.json"
serve localhost /launcher/version.json.sig "$work/release/launcher/version.json.sig"
serve localhost /launcher/launcher.7z "$work/launcher.7z"
serve 127.0.0.2 /ip7z/7zip/releases/download/26.01/7zr.exe "$data/7zr.exe"

# What a Wine process pays for its first HTTPS request (TLS and certificate
# store set-up) beside a later one: the small manifest, twice in one process.
wine_run "$work/first-request.txt" "$bench_net" download localhost /launcher/version.json - 2 ||
  fail "bench_net download of the manifest failed: $(cat "$work/first-request.txt")"

# The holders watch the held variants' profiles from here on.
start_holder held-none none
start_holder held-read read
# The A/B against an earlier build of the same hosts (a tests build's
# nolm-shortcut.exe), when NOLM_BENCH_PREVIOUS names one.
variants="art plain signed held-none held-read${NOLM_BENCH_PREVIOUS:+ previous}"

for run in $(seq $((warmups + runs))); do
  for variant in $variants; do
    folder=$work/install-$variant
    program=$shortcut
    [[ $variant == signed ]] && program=$signed_shortcut
    [[ $variant == previous ]] && program=$NOLM_BENCH_PREVIOUS
    make_game "$folder/game" "$([[ $variant == art ]] && echo 1 || echo 0)" "$program"
    rm -rf "$folder/profile"
    mkdir -p "$folder/profile"
    logged=$(wc -l <"$state/www/requests.log" 2>/dev/null || echo 0)
    settle
    drive "$folder/report.txt" --exe="$(windows_path "$folder/game/nolm-shortcut.exe")" \
      --env=USERPROFILE="$(windows_path "$folder/profile")" --wait-launcher=30000 --memory
    ms=$(seen_ms "$folder/report.txt" launcher_window_ms "the installed launcher's window")
    [[ "$(value "$folder/report.txt" exit_code)" == 0 ]] || fail "the install failed: $folder/report.txt"
    if timed_run "$run"; then
      calc "$ms / 1000" >>"$work/install-$variant.times"
      seen_ms "$folder/report.txt" private_bytes_max "the shortcut's memory" >>"$work/memory-$variant.times"
      # Where the time goes: the phases between the server's requests.
      read -r -a phases < <(tail -n +"$((logged + 1))" "$state/www/requests.log" |
        install_phases "$folder/report.txt")
      [[ ${#phases[@]} == 4 ]] || fail "no phases for the installation: $folder/report.txt"
      for phase in 0 1 2 3; do echo "${phases[$phase]}" >>"$work/install-$variant-phase$phase.times"; done
    fi
    rm -rf "$folder/profile"
  done

  folder=$work/install-floor
  rm -rf "$folder"
  mkdir -p "$folder/lib" "$folder/temp"
  cp "$data/7zr.exe" "$folder/lib/7zr.exe"
  settle
  start=$EPOCHREALTIME
  curl --silent --show-error --fail --ipv4 --cacert "$state/certs/ca.pem" \
    -o "$folder/temp/launcher_install.7z" https://localhost/launcher/launcher.7z || fail "curl failed"
  fetched=$(elapsed "$start" "$EPOCHREALTIME")
  drive "$folder/report.txt" --exe="$(windows_path "$folder/lib/7zr.exe")" \
    --args="x \"$(windows_path "$folder/temp/launcher_install.7z")\" -o\"$(windows_path "$folder")\" -y"
  ms=$(seen_ms "$folder/report.txt" exit_ms "7zr.exe's exit")
  [[ "$(value "$folder/report.txt" exit_code)" == 0 && -f "$folder/launcher.pck" ]] ||
    fail "7zr.exe did not extract the archive: $folder/report.log"
  # The same extraction started as the shortcut must start it: hidden, with
  # no console (Wine then starts a console host of its own for 7zr.exe).
  rm -f "$folder/launcher.exe" "$folder/launcher.pck"
  drive "$folder/report.txt" --hidden --exe="$(windows_path "$folder/lib/7zr.exe")" \
    --args="x \"$(windows_path "$folder/temp/launcher_install.7z")\" -o\"$(windows_path "$folder")\" -y"
  hidden_ms=$(seen_ms "$folder/report.txt" exit_ms "7zr.exe's exit")
  [[ "$(value "$folder/report.txt" exit_code)" == 0 && -f "$folder/launcher.pck" ]] ||
    fail "7zr.exe did not extract the archive when hidden: $folder/report.log"
  if timed_run "$run"; then
    echo "$fetched" >>"$work/install-curl.times"
    calc "$ms / 1000" >>"$work/install-7zr.times"
    calc "$hidden_ms / 1000" >>"$work/install-7zr-hidden.times"
    calc "$fetched + $ms / 1000" >>"$work/install-floor.times"
  fi
  rm -rf "$folder"
done
stop_holders

# ---- sizes ----------------------------------------------------------------------

if [[ -n "$release" ]]; then
  release=$(cd "$root" && cd "$release" && pwd)
  size_exe=$release/nolm-shortcut.exe size_floor=$release/floors/bench/floor_thread.exe
  size_from="release build"
else
  size_exe=$shortcut size_floor=$build/bench/floor_thread.exe size_from="tests build, same flags"
fi
rsrc_size() { # bytes of the .rsrc section, 0 without one
  local hex
  hex=$(x86_64-w64-mingw32-objdump -h "$1" | awk '$2 == ".rsrc" { print $3 }')
  echo $((16#${hex:-0}))
}
# The imports as tests/build/check_exe.sh judges them: "NAME", "NAME(delay)"
# or "NAME(not system)" (a DLL a player may lack, or one loaded at start that
# is not a KnownDLL).
imports() { # exe, delay-loaded DLLs...
  bash tests/build/check_exe.sh "$@" | sed -n 's/^import ok: //p; s/^delay-load ok: \(.*\)/\1(delay)/p
    s/^FAIL: imports \([^,]*\),.*/\1(not system)/p; s/^FAIL: delay-loads \([^,]*\),.*/\1(not system)/p' |
    tr '\n' ' '
}
# The shortcut's own delay-loaded DLLs; the other .def files are nolm-check's.
ours_imports=$(imports "$size_exe" $(sed -n 's/^LIBRARY //p' cmake/delay-load/{bcrypt,gdiplus,winhttp}.def))
floor_imports=$(imports "$size_floor")

# ---- the table --------------------------------------------------------------------

med() { median <"$work/$1.times"; }
times_x() { awk -v v="$1" 'BEGIN { printf "%.2f x", v }'; }
ms() { awk -v v="$1" 'BEGIN { printf "%.0f ms", v }'; }
seconds() { awk -v v="$1" 'BEGIN { printf "%.2f s", v }'; }
mib_s() { awk -v m="$1" -v s="$2" 'BEGIN { printf "%.0f MiB/s", m / s }'; }
mib() { awk -v v="$1" 'BEGIN { printf "%.1f MiB", v / 1048576 }'; }
kib() { awk -v v="$1" 'BEGIN { printf "%.0f KiB", v / 1024 }'; }

for variant in plain art; do
  ours=$(med "frame-ours-$variant") floor=$(med "frame-floor-$variant")
  ratio=$(calc "$ours / $floor")
  label="start to first frame, no artwork"
  [[ $variant == plain ]] || label="start to first frame, 1920x1080 splash + title"
  row "$label" "$(ms "$ours")" "$(ms "$floor")" "$(times_x "$ratio")" "<= 1.15 x floor" \
    "$(verdict "$ratio" '<=' 1.15)" "1 / 1"
  if [[ $variant == art && -n "${NOLM_BENCH_PREVIOUS:-}" ]]; then
    previous=$(med frame-previous-art)
    row "  this build / NOLM_BENCH_PREVIOUS" "$(ms "$ours")" "$(ms "$previous")" \
      "$(times_x "$(calc "$ours / $previous")")" "<= 1.02 x previous" \
      "$(verdict "$(calc "$ours / $previous")" '<=' 1.02)" "1 / 1"
  fi
done

ours=$(timed_seconds download "$warmups" <"$work/download.txt" | median) floor=$(med curl)
ratio=$(calc "$floor / $ours")
row "download $download_mib MiB (HttpsDownload vs curl)" "$(mib_s "$download_mib" "$ours")" \
  "$(mib_s "$download_mib" "$floor")" "$(times_x "$ratio")" ">= 0.80 x curl" \
  "$(verdict "$ratio" '>=' 0.8)" "0 / curl"
ours=$(timed_seconds download "$warmups" <"$work/download-memory.txt" | median)
row "  the same into memory, no file written" "$(mib_s "$download_mib" "$ours")" "" "" "" "" ""
bare=$(timed_seconds winhttp "$warmups" <"$work/winhttp-file.txt" | median)
row "  platform alone: same WinHTTP calls + 64 KiB writes" "$(mib_s "$download_mib" "$bare")" "" \
  "$(times_x "$(calc "$floor / $bare")")" "" "" ""
bare=$(timed_seconds winhttp "$warmups" <"$work/winhttp-64.txt" | median)
big=$(timed_seconds winhttp "$warmups" <"$work/winhttp-1024.txt" | median)
row "  platform alone: reads only, 64 KiB / 1 MiB" \
  "$(mib_s "$download_mib" "$bare") / $(mib_s "$download_mib" "$big")" "" "" "" "" ""
ours=$(timed_seconds write "$warmups" <"$work/write.txt" | median)
row "  its file writes alone (64 KiB WriteFile)" "$(mib_s "$download_mib" "$ours")" "" "" "" "" ""
ours=$(timed_seconds digest "$warmups" <"$work/digest.txt" | median) floor=$(med openssl)
ratio=$(calc "$floor / $ours")
row "digest $digest_mib MiB (FileSha256Hex vs openssl)" "$(mib_s "$digest_mib" "$ours")" \
  "$(mib_s "$digest_mib" "$floor")" "$(times_x "$ratio")" ">= 0.90 x openssl" \
  "$(verdict "$ratio" '>=' 0.9)" "0 / openssl"
ours=$(timed_seconds hash "$warmups" <"$work/hash.txt" | median)
row "  platform alone: CNG SHA-256 over memory" "$(mib_s "$digest_mib" "$ours")" "" "" "" "" ""
ours=$(timed_seconds read "$warmups" <"$work/read.txt" | median) floor=$(med portable)
row "  its reads alone / openssl without SHA-NI" "$(mib_s "$digest_mib" "$ours")" \
  "$(mib_s "$digest_mib" "$floor")" "" "" "" ""

ours=$(med install-plain) floor=$(med install-floor) art=$(med install-art)
ratio=$(calc "$ours / $floor")
row "first installation, $install_mib MiB archive, no artwork" "$(seconds "$ours")" \
  "$(seconds "$floor")" "$(times_x "$ratio")" "<= 1.30 x floor" "$(verdict "$ratio" '<=' 1.3)" \
  "3 / 1+curl"
row "  with the 1920x1080 splash + title" "$(seconds "$art")" "$(seconds "$floor")" \
  "$(times_x "$(calc "$art / $floor")")" "" "" "3 / 1+curl"
signed=$(med install-signed) floor=$(timed_seconds hash "$warmups" <"$work/hash-install.txt" | median)
extra=$(calc "$signed - $ours")
row "  signed (keys pinned): extra time / CNG SHA-256 alone" \
  "$(ms "$(calc "$extra * 1000")")" "$(ms "$(calc "$floor * 1000")")" \
  "$(times_x "$(calc "$extra / $floor")")" "<= 1.05 x floor" \
  "$(verdict "$(calc "$extra / $floor")" '<=' 1.05)" "0"
row "    signed install, whole / unsigned" "$(seconds "$signed")" "$(seconds "$ours")" \
  "$(times_x "$(calc "$signed / $ours")")" "" "" "3 / 3"
for share in none:nothing read:reads; do
  held=$(med "install-held-${share%:*}")
  row "  each new file held 1 s, sharing ${share#*:} / none held" "$(seconds "$held")" \
    "$(seconds "$ours")" "$(awk -v v="$(calc "$held - $ours")" 'BEGIN { printf "%+.2f s", v }')" \
    "" "" "3 / 3"
done
if [[ -n "${NOLM_BENCH_PREVIOUS:-}" ]]; then
  previous=$(med install-previous)
  row "  none held: this build / NOLM_BENCH_PREVIOUS" "$(seconds "$ours")" "$(seconds "$previous")" \
    "$(times_x "$(calc "$ours / $previous")")" "<= 1.02 x previous" \
    "$(verdict "$(calc "$ours / $previous")" '<=' 1.02)" "3 / 3"
fi
row "  1 start to the manifest's request (TLS set-up)" "$(seconds "$(med install-plain-phase0)")" "" \
  "" "" "" "1 / -"
first=$(timed_seconds download 0 <"$work/first-request.txt" | head -1)
later=$(timed_seconds download 1 <"$work/first-request.txt")
row "    first HTTPS request in a process / a later one" \
  "$(ms "$(calc "$first * 1000")") / $(ms "$(calc "$later * 1000")")" "" "" "" "" "0"
first=$(timed_seconds compose 0 <"$work/paint-plain.txt" | head -1)
row "    first frame's paint, before the worker starts" "$(ms "$(calc "$first * 1000")")" "" "" "" "" \
  "0"
row "  2 the manifest, to the archive's request" "$(seconds "$(med install-plain-phase1)")" "" "" "" \
  "" "0"
archive=$(med install-plain-phase2) fetch=$(med install-curl)
row "  3 the archive's download / curl's fetch" "$(seconds "$archive")" "$(seconds "$fetch")" \
  "$(times_x "$(calc "$archive / $fetch")")" "" "" "0 / curl"
row "  4 7zr.exe, extraction, launcher to its window" "$(seconds "$(med install-plain-phase3)")" \
  "$(seconds "$(med install-7zr)")" "" "" "" "2 / 1"
row "    7zr.exe's extraction started hidden, as ours" "" "$(seconds "$(med install-7zr-hidden)")" "" \
  "" "" "- / 1"

ours=$(timed_seconds compose "$paint_warmups" <"$work/paint-art.txt" | median)
floor=$(timed_seconds compose "$paint_warmups" <"$work/paint-plain.txt" | median)
row "painting: compose one frame, splash + title" "$(ms "$(calc "$ours * 1000")")" "" "" "" "" "0"
row "  no artwork (placeholder text)" "$(ms "$(calc "$floor * 1000")")" "" "" "" "" "0"
slowdown=$(calc "($art / $(med install-plain) - 1) * 100")
row "painting: install with artwork vs without" "$(seconds "$art")" \
  "$(seconds "$(med install-plain)")" "$(awk -v v="$slowdown" 'BEGIN { printf "%+.1f %%", v }')" \
  "<= +5 %" "$(verdict "$slowdown" '<=' 5)" "3 / 3"

ours=$(med memory-art) floor=$(med memory-floor)
above=$(calc "($ours - $floor) / 1048576")
row "memory: peak private bytes, install with artwork" "$(mib "$ours")" "$(mib "$floor")" \
  "$(awk -v v="$above" 'BEGIN { printf "%+.1f MiB", v }')" "<= floor + 16 MiB" \
  "$(verdict "$above" '<=' 16)" ""
row "  install without artwork" "$(mib "$(med memory-plain)")" "" "" "" "" ""

ours=$(stat -c %s "$size_exe") floor=$(stat -c %s "$size_floor")
row "size in all ($size_from)" "$(kib "$ours")" "$(kib "$floor")" \
  "$(awk -v v="$(((ours - floor) / 1024))" 'BEGIN { printf "%+d KiB", v }')" "<= 256 KiB" \
  "$(check "$ours" '<=' $((256 << 10)))" ""
ours=$((ours - $(rsrc_size "$size_exe"))) floor=$((floor - $(rsrc_size "$size_floor")))
row "size without resources (.rsrc)" "$(kib "$ours")" "$(kib "$floor")" \
  "$(awk -v v="$(((ours - floor) / 1024))" 'BEGIN { printf "%+d KiB", v }')" "" "" ""
row "DLLs imported" "$(wc -w <<<"$ours_imports") DLLs" "$(wc -w <<<"$floor_imports") DLLs" "" \
  "system DLLs only" "$([[ "$ours_imports" == *"not system"* ]] && echo MISSED || echo met)" ""

echo
echo "nolm-shortcut benchmarks$([[ $quick == 1 ]] && echo " (quick: tiny sizes, one run; the figures mean nothing)"):" \
  "median of $runs timed run(s)$([[ $warmups -gt 0 ]] && echo " after $warmups warm-up"), $(wine --version 2>/dev/null)"
echo "Floors: floor_splash.exe (first frame, memory), curl and openssl (download, digest),"
echo "curl + 7zr.exe (installation), floor_thread.exe (size); sizes from the $size_from."
echo
print_table
echo
echo "starts: Windows processes started from a running Wine session inside the timing, ours / floor;"
echo "  each costs $(ms "$(med process-start)") here (start to exit of a program that does nothing)."
echo "  A Wine start from the shell ($(seconds "$(med wine-start)") here with Wine's server up) is in no figure:"
echo "  the driver, bench_net and bench_paint time from inside Wine; curl and openssl start natively in ms."
echo "first frame: from just before CreateProcessW to the window first reading as visible (10 ms polls),"
echo "  median of $frame_runs run(s)."
echo "Load average before / after: $load_before / $(cut -d' ' -f1-3 /proc/loadavg) (other work on the"
echo "  machine makes the times noisy; compare a figure with its floor, both measured interleaved)."
echo "DLLs: ours: $ours_imports"
echo "      floor_thread: $floor_imports"
echo "Runs' files and driver reports: $work"
