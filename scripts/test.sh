#!/usr/bin/env bash
# Builds everything and runs every test under Wine, from a fresh Debian 12
# machine or a warm one. Ends with CTest's summary; exits non-zero on failure.
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
quietly configure-tests.log cmake --preset tests
quietly build-tests.log cmake --build --preset tests -j"$(nproc)"
bash scripts/in-private-network.sh ctest --preset tests "$@"
