#!/usr/bin/env bash
# The signature file and key parsers read what a download host writes: built
# natively with AddressSanitizer and UndefinedBehaviorSanitizer, their tests
# (the fixed-seed fuzz case included) must pass without a single report.
# Usage: check_sanitized_parsing.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2
mkdir -p "$work"
g++ -std=c++20 -O1 -g -Wall -Wextra -Werror -fsanitize=address,undefined -fno-sanitize-recover=all \
  -fno-omit-frame-pointer -I"$source_dir/src" \
  "$source_dir/src/text/base64.cpp" "$source_dir/src/net/release_signature.cpp" \
  "$source_dir/tests/net/release_signature_test.cpp" \
  -lgtest -lgtest_main -pthread -o "$work/release_signature_test"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$work/release_signature_test"
