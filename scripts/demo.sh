#!/usr/bin/env bash
# The program's main job on a local stand-in for the real hosts: builds the
# shortcut for a local demo host, serves a demo launcher and 7zr.exe from a
# local HTTPS server, and runs the shortcut under Wine twice: a first start
# that installs the launcher (with a visibly moving progress bar), then a
# second start that finds it installed. Screenshots go to build/demo/screenshots.
#
# Shows on your display when DISPLAY is set, otherwise on a hidden Xvfb screen.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

if [[ "${NOLM_PRIVATE_NETWORK:-}" != 1 ]]; then
  bash scripts/setup.sh
  mkdir -p build
  echo "demo: building (the first time on a machine also builds 7zr.exe from source)"
  cmake --preset tests >build/configure-demo.log 2>&1 || { cat build/configure-demo.log; exit 1; }
  cmake --build build/tests -j"$(nproc)" --target nolm-shortcut driver test_launcher add_root_cert \
    >build/build-demo.log 2>&1 || { cat build/build-demo.log; exit 1; }
  exec bash scripts/in-private-network.sh bash "$0" "$@"
fi

bin=$root/build/tests
data=$bin/testdata
demo=$root/build/demo
state=$demo/testenv
shots=$demo/screenshots
testenv=$root/tests/env/testenv.sh
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

rm -rf "$demo/game" "$demo/profile" "$demo/archive" "$shots" "$state/www"
mkdir -p "$demo/game/Star Drift/nolm" "$demo/profile/Demo Player" "$demo/archive" "$shots"

# The game folder, as a game would ship it.
game="$demo/game/Star Drift"
cp "$bin/nolm-shortcut.exe" "$game/Star Drift.exe"
printf '{"game": "star-drift", "name": "Star Drift"}\n' >"$game/nolm/config.json"
python3 tools/make_demo_art.py "$game/nolm"

# The demo launcher: a window that names the game it was started for. The
# pack is incompressible so that the download takes long enough to watch.
cp "$data/test_launcher.exe" "$demo/archive/launcher.exe"
printf 'demo\n' >"$demo/archive/mode.txt"
head -c 6000000 /dev/urandom >"$demo/archive/launcher.pck"
(cd "$demo/archive" && "$(command -v 7zz || command -v 7z)" a -bd -bso0 -bsp0 -mx=1 "$demo/launcher.7z" . >/dev/null)

NOLM_USE_DISPLAY=1 "$testenv" start "$state" "$data/add_root_cert.exe"
trap '"$testenv" stop "$state"' EXIT
www=$state/www/files
mkdir -p "$www/localhost/launcher" "$www/127.0.0.2/ip7z/7zip/releases/download/26.01"
printf '{"version": "1.0.0-demo"}' >"$www/localhost/launcher/version.json"
mv "$demo/launcher.7z" "$www/localhost/launcher/launcher.7z"
cp "$data/7zr.exe" "$www/127.0.0.2/ip7z/7zip/releases/download/26.01/7zr.exe"
# About 3 s for the archive, so the bar visibly moves.
printf '{"/launcher/launcher.7z": {"throttle_bytes_per_sec": 2000000}}' >"$state/www/rules.json"

run_shortcut() {  # run_shortcut NAME DRIVER_OPTIONS...
  local name=$1
  shift
  "$testenv" run "$state" "$data/driver.exe" --exe="$(windows_path "$game/Star Drift.exe")" \
    --env=USERPROFILE="$(windows_path "$demo/profile/Demo Player")" \
    --report="$(windows_path "$demo/$name.report")" --timeout=120000 "$@" >/dev/null
  grep -E '^(splash_title|splash_visible_ms|launcher_window_ms|launcher_title|exit_code|box\.0\.text)=' \
    "$demo/$name.report" | sed "s/^/  $name: /"
}

echo "demo: first start, installing the launcher"
run_shortcut first-start --wait-launcher=10000 \
  --capture=1200:"$(windows_path "$shots/1-splash-downloading.bmp")" \
  --capture-launcher="$(windows_path "$shots/2-launcher.bmp")"
"$testenv" stop "$state" >/dev/null 2>&1 || true   # closes the demo launcher
NOLM_USE_DISPLAY=1 "$testenv" start "$state" "$data/add_root_cert.exe"
echo "demo: second start, launcher already installed"
run_shortcut second-start --wait-launcher=10000

for bmp in "$shots"/*.bmp; do
  [[ -f "$bmp" ]] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "demo: screenshots in $shots"
ls -1 "$shots"
