#!/usr/bin/env bash
# The former network benchmark, now part of the benchmark suite: its download
# and digest figures (bench_net.exe against curl and openssl) are rows of the
# suite's table. Kept so that "bash bench/run.sh [--quick]" still works; it
# runs the whole suite.
exec bash "$(dirname "${BASH_SOURCE[0]}")/suite.sh" "$@"
