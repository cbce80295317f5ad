#!/usr/bin/env bash
# Checks the shipped executable's headers: a 64-bit GUI-subsystem PE (with
# --console, a console one: nolm-check) whose load-time imports are
# KnownDLLs only (kernel32, user32, msvcrt), so that nothing can be loaded
# from the game's folder before the program restricts the DLL search to
# System32; every other system DLL is delay-loaded, and its tables are ones
# the program can write.
#   check_exe.sh [--console] EXE [DELAY_LOADED_DLL...]
set -euo pipefail
subsystem=00000002
subsystem_name="the Windows GUI subsystem"
if [[ "$1" == --console ]]; then
  subsystem=00000003
  subsystem_name="the console subsystem"
  shift
fi
exe=$1
shift
delay_loaded=("$@")
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
# Read whole, not piped into an early-exiting grep: under pipefail the writer's
# SIGPIPE would fail a check of a correct exe.
exe_strings=$(strings -a "$exe")
load_time='^(KERNEL32|USER32|msvcrt)\.dll$'
system='^(GDI32|gdiplus|WINHTTP|bcrypt|ADVAPI32|SHLWAPI|CRYPT32)\.dll$'
failures=0

grep -q '^Magic[[:space:]]*020b' <<<"$headers" || { echo "FAIL: not a PE32+ image"; failures=$((failures + 1)); }
grep -Eq "^Subsystem[[:space:]]+$subsystem" <<<"$headers" || { echo "FAIL: not $subsystem_name"; failures=$((failures + 1)); }

imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
[[ -n "$imports" ]] || { echo "FAIL: no import table found"; failures=$((failures + 1)); }
for dll in $imports; do
  if grep -Eiq "$load_time" <<<"$dll"; then
    echo "import ok: $dll"
  else
    echo "FAIL: imports $dll, not a KnownDLL, at load time: the game's folder is searched first"
    failures=$((failures + 1))
  fi
done
# MinGW's linker leaves the delay-import directory empty (the helper finds its
# descriptors by symbol), so the test is: not in the load-time table, and the
# name is in the image for the helper to load.
for dll in "${delay_loaded[@]}"; do
  if grep -Fxiq "$dll" <<<"$imports"; then
    echo "FAIL: $dll is loaded at start, not at its first use"
    failures=$((failures + 1))
  elif ! grep -Eiq "$system" <<<"$dll"; then
    echo "FAIL: delay-loads $dll, which a player's machine may not have"
    failures=$((failures + 1))
  elif grep -Fxiq "$dll" <<<"$exe_strings"; then
    echo "delay-load ok: $dll"
  else
    echo "FAIL: $dll is neither imported nor delay-loaded"
    failures=$((failures + 1))
  fi
done
# The tables the delay-load resolver writes at run time must be writable, or
# made writable by the program, whatever section the linker put them in.
if ((${#delay_loaded[@]})); then
  python3 "$(dirname "${BASH_SOURCE[0]}")/check_delay_slots.py" "$exe" "${delay_loaded[@]}" ||
    failures=$((failures + 1))
fi
echo "$(stat -c %s "$exe") bytes"
exit $((failures > 0))
