# Helpers of bench/suite.sh (sourced): numbers, Wine runs and driver reports.
# Uses the suite's $state, $work, $driver, $warmups and fail().

windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

# Arithmetic on decimal numbers (bash has integers only).
calc() { awk "BEGIN { printf \"%.6f\\n\", $* }"; }
elapsed() { calc "$2 - $1"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# True for runs after the warm-ups: run numbers count from 1.
timed_run() { [[ $1 -gt $warmups ]]; }
# The seconds of the timed runs in "<mode> seconds=<s> ..." lines, the first $2 dropped.
timed_seconds() { tr -d '\r' | grep "^$1 seconds=" | tail -n +"$(($2 + 1))" | sed 's/.*seconds=\([0-9.]*\).*/\1/'; }

# Gets the data written so far onto the disk, so that its writeback does not
# slow down the writes of the step that follows (the downloads and the
# extractions write hundreds of MiB each).
settle() { sync; }

# Wine programs print through a file: Wine's services keep inherited pipes open.
wine_run() { # output file, program, args...
  local out=$1
  shift
  bash tests/env/testenv.sh run "$state" "$@" >"$out" 2>&1
}

# Runs driver.exe with the given arguments; the report lands in FILE.
drive() { # report file, driver args...
  local report=$1
  shift
  rm -f "$report"
  wine_run "${report%.txt}.log" "$driver" --report="$(windows_path "$report")" --timeout=120000 "$@" ||
    fail "driver failed: $(cat "${report%.txt}.log")"
  [[ -f "$report" ]] || fail "driver wrote no report: $(cat "${report%.txt}.log")"
}

# One value of a driver report.
value() { # report, key
  tr -d '\r' <"$1" | sed -n "s/^$2=//p" | head -1
}

# A value that must be a time the driver saw (not -1).
seen_ms() { # report, key, what it means
  local ms
  ms=$(value "$1" "$2")
  [[ "$ms" =~ ^[0-9]+$ ]] || fail "$3 was never seen (driver report: $1)"
  echo "$ms"
}

# The phases of one installation, in seconds, from the driver's report and
# the server's request log lines on stdin (both on the system clock):
# "<to manifest> <manifest to archive> <archive to 7zr.exe> <7zr.exe to the
# launcher's window>", each from one request to the next.
install_phases() { # driver report
  python3 -c '
import json, sys
report = dict(line.rstrip("\r\n").split("=", 1) for line in open(sys.argv[1]) if "=" in line)
start = int(report["start_unix_us"]) / 1e6
window = start + int(report["launcher_window_ms"]) / 1e3
times = {}
for line in sys.stdin:
    entry = json.loads(line)
    times.setdefault(entry["path"], entry["time"])
marks = [start] + [times[path] for path in sys.argv[2:]] + [window]
print(" ".join("%.6f" % (b - a) for a, b in zip(marks, marks[1:])))' "$1" \
    /launcher/version.json /launcher/launcher.7z /ip7z/7zip/releases/download/26.01/7zr.exe ||
    fail "the server logged no request for one of the installation's files"
}

# A file of MiB random bytes, kept while it has the right size.
random_file() { # path, MiB
  if [[ "$(stat -c %s "$1" 2>/dev/null || echo 0)" != $(($2 << 20)) ]]; then
    mkdir -p "$(dirname "$1")"
    head -c "$(($2 << 20))" /dev/urandom >"$1"
  fi
}

# Serves a copy of FILE at https://HOST/PATH.
serve() { # host, url path, file
  local target=$www/$1$2
  mkdir -p "$(dirname "$target")"
  cp "$3" "$target"
  served+=("$target")
}

# A game folder: the shortcut and nolm/config.json, with the demo artwork
# when asked.
make_game() { # folder, artwork (0/1), [program: the shortcut by default]
  rm -rf "$1"
  mkdir -p "$1/nolm"
  cp "${3:-$shortcut}" "$1/nolm-shortcut.exe"
  printf '{"game": "bench-game", "name": "Bench Game"}' >"$1/nolm/config.json"
  if [[ $2 == 1 ]]; then cp "$work/art/splash.png" "$work/art/title.png" "$1/nolm/"; fi
}

# ---- the table -------------------------------------------------------------

rows=()
# One row: figure, ours, floor, comparison, goal, verdict, process starts.
row() { rows+=("$(printf '%s|' "$@")"); }
# "met" or "MISSED" for a comparison of two numbers.
check() { # value, operator (<= or >=), goal
  awk -v v="$1" -v g="$3" -v op="$2" 'BEGIN { ok = (op == "<=") ? v <= g : v >= g; print ok ? "met" : "MISSED" }'
}
# The same for a measured figure: "-" in a quick run, whose tiny sizes make
# the figures meaningless.
verdict() { # value, operator (<= or >=), goal
  if [[ $quick == 1 ]]; then echo -; else check "$@"; fi
}
print_table() {
  local format='%-50s %12s %12s %10s %-18s %-7s %s\n'
  # shellcheck disable=SC2059
  printf "$format" figure ours floor compared goal verdict "starts"
  printf '%s\n' "$(printf '%.0s-' {1..128})"
  local line
  for line in "${rows[@]}"; do
    IFS='|' read -r -a fields <<<"$line"
    # shellcheck disable=SC2059
    printf "$format" "${fields[@]}"
  done
}
