#!/usr/bin/env bash
# Checks the shipped executable's headers: a 64-bit GUI-subsystem PE that
# imports nothing but DLLs every Windows 10 machine has.
set -euo pipefail
exe=$1
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
allowed='^(KERNEL32|USER32|GDI32|gdiplus|WINHTTP|bcrypt|msvcrt|ADVAPI32|SHLWAPI|ntdll)\.dll$'
failures=0

grep -q '^Magic[[:space:]]*020b' <<<"$headers" || { echo "FAIL: not a PE32+ image"; failures=$((failures + 1)); }
grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || { echo "FAIL: not the Windows GUI subsystem"; failures=$((failures + 1)); }

imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
[[ -n "$imports" ]] || { echo "FAIL: no import table found"; failures=$((failures + 1)); }
for dll in $imports; do
  if grep -Eiq "$allowed" <<<"$dll"; then
    echo "import ok: $dll"
  else
    echo "FAIL: imports $dll, which a player's machine may not have"
    failures=$((failures + 1))
  fi
done
echo "$(stat -c %s "$exe") bytes"
exit $((failures > 0))
