#!/usr/bin/env bash
# The Linux side of the test environment: a Wine prefix that trusts a test CA,
# an Xvfb display and the HTTPS fixture server, all kept under one state
# folder inside the build tree. Nothing outside that folder is changed.
#
#   testenv.sh start STATE ADD_ROOT_CERT_EXE   prepare and start everything
#                                              (NOLM_USE_DISPLAY=1: use $DISPLAY, no Xvfb)
#   testenv.sh stop STATE                      stop the server, Xvfb and Wine
#   testenv.sh run STATE PROGRAM [ARGS...]     run a Windows program in it
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
command=$1
state=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2

export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
# Keeps Wine from offering to install Mono and Gecko, a dialog that can hang a
# run. A test adds overrides of its own through NOLM_DLL_OVERRIDES: Wine reads
# them from the Unix environment it starts with, not from a Windows one.
export WINEDLLOVERRIDES="mscoree,mshtml=${NOLM_DLL_OVERRIDES:+;$NOLM_DLL_OVERRIDES}"

windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

start_prefix() {
  local add_root_cert=$1 stamp
  if [[ ! -f "$WINEPREFIX/.prefix-ready" ]]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >"$state/wineboot.log" 2>&1
    # GDI+ finds no generic sans-serif family without Wine's own fonts.
    cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Without a window manager every GUI process otherwise lingers ~2 s at exit.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >"$state/reg.log" 2>&1
    touch "$WINEPREFIX/.prefix-ready"
  fi
  # The store is part of the stamp: a prefix that trusts the CA in another
  # store gets it added again where Wine 10 looks.
  stamp="$(sha256sum "$state/certs/ca.pem" | cut -c1-64) current-user"
  if [[ "$(cat "$WINEPREFIX/.ca-stamp" 2>/dev/null)" != "$stamp" ]]; then
    wine "$add_root_cert" "$(windows_path "$state/certs/ca.pem")" >"$state/add-root-cert.log" 2>&1
    echo "$stamp" >"$WINEPREFIX/.ca-stamp"
  fi
  # Wine's session started above has no display and outlives its programs; a
  # GUI program joining it could not open a visible window. End it now.
  wineserver -k 2>/dev/null || true
}

start_display() {
  # The demo shows itself on the user's own display when there is one.
  if [[ "${NOLM_USE_DISPLAY:-}" == 1 && -n "${DISPLAY:-}" ]]; then
    echo "$DISPLAY" >"$state/display"
    return 0
  fi
  local display=90
  while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
  setsid Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp \
    </dev/null >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  echo ":$display" >"$state/display"
  for _ in $(seq 100); do
    [[ -e /tmp/.X11-unix/X$display ]] && return 0
    sleep 0.05
  done
  echo "testenv: Xvfb did not start" >&2
  return 1
}

start_server() {
  mkdir -p "$state/www/files"
  rm -f "$state/server.pid"
  setsid python3 "$here/../fixtures/https_server.py" --root "$state/www" \
    --cert "$state/certs/server.pem" --key "$state/certs/server.key" \
    --untrusted-cert "$state/certs/untrusted.pem" --untrusted-key "$state/certs/untrusted.key" \
    --listener "127.0.0.4,$state/certs/untrusted.pem,$state/certs/untrusted.key" \
    --listener "127.0.0.5,$state/certs/expired.pem,$state/certs/expired.key" \
    --listener "127.0.0.6,$state/certs/ahead.pem,$state/certs/ahead.key,2114380800" \
    --pidfile "$state/server.pid" </dev/null >"$state/server.log" 2>&1 &
  for _ in $(seq 200); do
    [[ -s "$state/server.pid" ]] && return 0
    sleep 0.05
  done
  echo "testenv: the HTTPS fixture server did not start:" >&2
  cat "$state/server.log" >&2
  return 1
}

stop_pid_file() {
  local file=$1
  [[ -f "$file" ]] || return 0
  kill "$(cat "$file")" 2>/dev/null || true
  rm -f "$file"
}

case "$command" in
  start)
    "$0" stop "$state"
    bash "$here/../fixtures/make_certs.sh" "$state/certs" >"$state/certs.log" 2>&1
    start_prefix "$1"
    start_display
    start_server
    ;;
  stop)
    stop_pid_file "$state/server.pid"
    stop_pid_file "$state/xvfb.pid"
    wineserver -k 2>/dev/null || true
    ;;
  run)
    DISPLAY=$(cat "$state/display")
    export DISPLAY
    export NOLM_TEST_STATE_DIR="$state"
    export NOLM_TEST_WWW
    NOLM_TEST_WWW=$(windows_path "$state/www")
    if [[ -n "${NOLM_TEST_DATA_UNIX:-}" ]]; then
      export NOLM_TEST_DATA
      NOLM_TEST_DATA=$(windows_path "$NOLM_TEST_DATA_UNIX")
    fi
    # Wine's helper services inherit a Wine program's output handles and keep
    # them open, so output goes to a file that is shown once the program ends.
    log="$state/run.$$.log"
    status=0
    timeout --kill-after=10 "${NOLM_TEST_TIMEOUT:-900}" wine "$@" >"$log" 2>&1 || status=$?
    cat "$log"
    rm -f "$log"
    exit "$status"
    ;;
  *)
    echo "usage: testenv.sh start|stop|run STATE ..." >&2
    exit 2
    ;;
esac
