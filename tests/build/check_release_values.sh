#!/usr/bin/env bash
# Checks that a release never carries the test build's deployment values by
# accident. One folder is configured for the tests, then reconfigured as a
# release with a real host name: the release's executable must hold that
# host, the default extractor host and the official 7zr.exe digest, and none
# of the test values. Then each test value given to a release must be warned
# about, naming the value.
# Usage: check_release_values.sh SOURCE_DIR WORK_DIR OFFICIAL_7ZR_SHA256
set -euo pipefail
source_dir=$1
work=$2
official_digest=$3
release_host=downloads.example.com
build=$work/out
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

configure() {  # configure LOG CMAKE_ARGS...
  local log=$1
  shift
  cmake -S "$source_dir" -B "$build" "$@" >"$log" 2>&1 || { cat "$log"; exit 1; }
}

configure "$work/tests.log" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=ON
header=$build/generated/deployment.h
test_digest=$(sed -n 's/.*kExtractorSha256\[\] = "\([0-9a-f]*\)";.*/\1/p' "$header")
grep -Fq 'kDownloadHost[] = L"localhost";' "$header" ||
  fail "the test build does not download from localhost"
[[ -n "$test_digest" && "$test_digest" != "$official_digest" ]] ||
  fail "the test build does not pin its own 7zr.exe's digest"

# Release-signing keys made here: P-256 as pinned, and keys that must be refused.
public_key() {  # public_key NAME OPENSSL_GENPKEY_ARGS...: prints the base64 between the PEM lines
  local name=$1
  shift
  openssl genpkey "$@" -out "$work/$name.pem" 2>/dev/null
  openssl pkey -in "$work/$name.pem" -pubout | sed '1d;$d' | tr -d '\n'
}
key_a=$(public_key a -algorithm EC -pkeyopt ec_paramgen_curve:P-256)
key_b=$(public_key b -algorithm EC -pkeyopt ec_paramgen_curve:P-256)
key_p384=$(public_key p384 -algorithm EC -pkeyopt ec_paramgen_curve:P-384)
key_rsa=$(public_key rsa -algorithm RSA -pkeyopt rsa_keygen_bits:1024)
# A P-256 key whose point is moved off the curve: its last byte changed.
off_curve=$(python3 -c 'import base64, sys; d = bytearray(base64.b64decode(sys.argv[1]))
d[-1] ^= 1; print(base64.b64encode(bytes(d)).decode())' "$key_a")

configure "$work/release.log" -DBUILD_TESTING=OFF -DNOLM_DOWNLOAD_HOST=$release_host \
  -DNOLM_RELEASE_KEYS="$key_a;$key_b"
grep -q "CMake Warning" "$work/release.log" &&
  fail "a release with real values and keys warns: $(cat "$work/release.log")"
grep -Fq '#define NOLM_RELEASE_KEY_COUNT 2' "$header" || fail "the release does not pin both keys"

# Without keys, one warning: the archive is trusted on TLS alone.
configure "$work/release.log" -DNOLM_RELEASE_KEYS=
squeezed=$(tr -s ' \n' '  ' <"$work/release.log")
[[ $(grep -c "CMake Warning" "$work/release.log") == 1 ]] &&
  grep -Fq "NOLM_RELEASE_KEYS is empty: this build trusts the launcher archive on TLS alone" \
    <<<"$squeezed" || fail "a release without keys does not warn of exactly that: $squeezed"

# A key that is not P-256 fails the configuration, naming the entry.
expect_refused() {  # expect_refused TEXT KEYS [CMAKE_ARGS...]
  local text=$1 keys=$2
  shift 2
  if cmake -S "$source_dir" -B "${refused_build:-$build}" -DNOLM_RELEASE_KEYS="$keys" "$@" \
    >"$work/refused.log" 2>&1
  then
    fail "a configuration with NOLM_RELEASE_KEYS=$keys $* succeeded"
  elif ! tr -s ' \n' '  ' <"$work/refused.log" | grep -Fq "$text"; then
    fail "refusing NOLM_RELEASE_KEYS=$keys $* does not say: $text ($(cat "$work/refused.log"))"
  fi
}
expect_refused "entry 2 ($key_p384) is not an ECDSA P-256 public key" "$key_a;$key_p384"
expect_refused "entry 1 ($key_rsa) is not an ECDSA P-256 public key" "$key_rsa"
expect_refused "entry 1 (${key_a:0:60}*) is not base64" "${key_a:0:60}*"
expect_refused "entry 1 (${key_a:0:120}) has 120 characters" "${key_a:0:120}"
# The point is checked by the build's own compiler, also where no openssl can
# be found, as on a Windows machine with MSVC alone: a fresh folder, a PATH
# without it and no system paths searched.
mkdir "$work/bin"
for tool in /usr/bin/* /usr/local/bin/*; do
  [[ $(basename "$tool") == openssl ]] || ln -sf "$tool" "$work/bin/"
done
PATH=$work/bin refused_build=$work/no-openssl expect_refused \
  "entry 2 ($off_curve) is not a valid P-256 public key" "$key_b;$off_curve" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" -DBUILD_TESTING=OFF \
  -DNOLM_DOWNLOAD_HOST=$release_host -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=FALSE
# A pipeline whose key variable came out empty stops instead of shipping an unsigned build.
expect_refused "NOLM_REQUIRE_RELEASE_KEYS is ON but NOLM_RELEASE_KEYS holds no key" " ; " \
  -DNOLM_REQUIRE_RELEASE_KEYS=ON
configure "$work/release.log" -DNOLM_RELEASE_KEYS="$key_a" -DNOLM_REQUIRE_RELEASE_KEYS=ON
configure "$work/release.log" -DNOLM_RELEASE_KEYS= -DNOLM_REQUIRE_RELEASE_KEYS=OFF
cmake --build "$build" -j2 --target nolm-shortcut >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; exit 1; }
exe=$build/nolm-shortcut.exe
# The program keeps its hosts as UTF-16 and the digest as ASCII.
wide=$(strings -el "$exe")
narrow=$(strings -a "$exe")
grep -Fxq "$release_host" <<<"$wide" || fail "the release does not download from $release_host"
grep -Fxq github.com <<<"$wide" || fail "the release does not take 7zr.exe from github.com"
for host in localhost 127.0.0.2; do
  grep -Fq "$host" <<<"$wide" && fail "the release holds the test host $host"
done
grep -Fq "$official_digest" <<<"$narrow" || fail "the release does not pin the official 7zr.exe"
grep -Fq "$test_digest" <<<"$narrow" && fail "the release pins the test 7zr.exe ($test_digest)"

# Test values in a release: each configuration warns, naming the value.
expect_warning() {  # expect_warning TEXT CMAKE_ARGS...
  local text=$1
  shift
  configure "$work/warning.log" "$@"
  # CMake wraps the message's lines: compare with the whitespace squeezed.
  if ! tr -s ' \n' '  ' <"$work/warning.log" | grep -Fq "CMake Warning"; then
    fail "no warning with $*"
  elif ! tr -s ' \n' '  ' <"$work/warning.log" | grep -Fq "$text"; then
    fail "the warning with $* does not say: $text"
  fi
}
for host in localhost 127.0.0.2 "[::1]"; do
  expect_warning "NOLM_DOWNLOAD_HOST is \"$host\", a loopback host" -DNOLM_DOWNLOAD_HOST="$host"
done
expect_warning 'NOLM_EXTRACTOR_HOST is "127.0.0.2", a loopback host' \
  -DNOLM_DOWNLOAD_HOST=$release_host -DNOLM_EXTRACTOR_HOST=127.0.0.2
expect_warning "NOLM_EXTRACTOR_SHA256 is $test_digest, not the digest of the official" \
  -DNOLM_EXTRACTOR_HOST=github.com -DNOLM_EXTRACTOR_SHA256="$test_digest"

if ((failures > 0)); then
  exit 1
fi
echo "release: $release_host, github.com, 7zr.exe $official_digest; test values warned about;" \
  "keys other than P-256, off the curve or missing when required refused"
rm -rf "$work"
