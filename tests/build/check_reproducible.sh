#!/usr/bin/env bash
# Builds the release twice, from two copies of the source tree in folders of
# different names and depths, and checks that both executables are identical.
# Usage: check_reproducible.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2
rm -rf "$work"
mkdir -p "$work"

build_copy() {
  local copy=$1
  mkdir -p "$copy"
  # The files a clean checkout has: tracked ones and new ones not ignored.
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$source_dir" && xargs -0 cp --parents -t "$copy" 2>/dev/null || true)
  cmake -S "$copy" -B "$copy/out" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DNOLM_DOWNLOAD_HOST=downloads.example.com >"$copy.log" 2>&1
  cmake --build "$copy/out" -j"$(nproc)" --target nolm-shortcut >>"$copy.log" 2>&1 ||
    { cat "$copy.log"; exit 1; }
}

build_copy "$work/first"
build_copy "$work/a much/deeper second copy"
first="$work/first/out/nolm-shortcut.exe"
second="$work/a much/deeper second copy/out/nolm-shortcut.exe"
sha256sum "$first" "$second"
if cmp "$first" "$second"; then
  echo "identical: $(stat -c %s "$first") bytes"
  rm -rf "$work"
else
  echo "FAIL: the two release builds differ"
  exit 1
fi
