#!/usr/bin/env bash
# Builds everything and runs every test under Wine, from a fresh Debian 12 or
# 13 machine or a warm one. Ends with CTest's summary; exits non-zero on failure.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

quietly() {  # runs a step with its output in a log, shown only on failure
  local log=$1
  shift
  mkdir -p build
  if ! "$@" >"build/$log" 2>&1; then
    cat "build/$log"
    echo "test.sh: '$*' failed (log: build/$log)" >&2
    exit 1
  fi
}

bash scripts/setup.sh
# A Debian 12 machine also builds and tests with Debian 13's toolchain and
# Wine, in a root of its own (the debian13 test); it is made while the network
# is there, since the tests run without one.
if [[ "$(. /etc/os-release && echo "$VERSION_CODENAME")" != trixie ]]; then
  quietly debian13-prepare.log bash scripts/debian13.sh prepare
fi
quietly configure-tests.log cmake --preset tests
quietly build-tests.log cmake --build --preset tests -j"$(nproc)"
bash scripts/in-private-network.sh ctest --preset tests "$@"
