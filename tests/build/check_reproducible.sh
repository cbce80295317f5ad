#!/usr/bin/env bash
# Builds the release twice for each release build type (MinSizeRel, Release,
# and MinSizeRel pinning a release-signing key), from two copies of the source
# tree in folders of different names and depths, and checks that both
# executables of a type are identical and that none is bigger than 256 KiB,
# the size a game's download can afford for it.
# Usage: check_reproducible.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2
build_types=(MinSizeRel Release MinSizeRel-signed)
# A public key only; its private half was thrown away.
release_key=MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEzl1SbxqbGUx6CuWCylyiUcudPByTwswvgE04fjluy5kYKRPCHCcjc8qgHT7bnLpXTWupF7Odci9+J8eVobr1og==
max_bytes=$((256 * 1024))
rm -rf "$work"
mkdir -p "$work"

build_copy() {
  local copy=$1 type
  mkdir -p "$copy"
  # The files a clean checkout has: tracked ones and new ones not ignored.
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard) |
    (cd "$source_dir" && xargs -0 cp --parents -t "$copy" 2>/dev/null || true)
  : >"$copy.log"
  for type in "${build_types[@]}"; do
    local keys=
    [[ $type == *-signed ]] && keys=$release_key
    {
      cmake -S "$copy" -B "$copy/out-$type" \
        -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE="${type%-signed}" \
        -DNOLM_DOWNLOAD_HOST=downloads.example.com -DNOLM_RELEASE_KEYS="$keys" &&
        cmake --build "$copy/out-$type" -j2 --target nolm-shortcut
    } >>"$copy.log" 2>&1 || { cat "$copy.log"; exit 1; }
  done
}

build_copy "$work/first"
build_copy "$work/a much/deeper second copy"
failures=0
for type in "${build_types[@]}"; do
  first="$work/first/out-$type/nolm-shortcut.exe"
  second="$work/a much/deeper second copy/out-$type/nolm-shortcut.exe"
  sha256sum "$first" "$second"
  size=$(stat -c %s "$first")
  if ! cmp "$first" "$second"; then
    echo "FAIL: the two $type builds differ"
    failures=$((failures + 1))
  elif ((size > max_bytes)); then
    echo "FAIL: $type: identical, but $size bytes, more than $max_bytes"
    failures=$((failures + 1))
  else
    echo "$type: identical, $size bytes"
  fi
done
((failures == 0)) || exit 1
rm -rf "$work"
