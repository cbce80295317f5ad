# Release-signing keys pinned into the shortcut: with one or more, it unpacks
# only an archive whose digest is in a manifest signed by one of them. Each
# entry is what `openssl pkey -pubout` prints between its BEGIN and END lines,
# without the line breaks. The keys must be right at build time: a shortcut
# ships inside games and is never updated, and Windows' CNG is not relied on
# to refuse a malformed key.
set(NOLM_RELEASE_KEYS "" CACHE STRING
    "Release-signing public keys (base64 DER SubjectPublicKeyInfo, ECDSA P-256), ';'-separated")
# For release pipelines: a key variable that came out empty must stop the
# build, not ship a shortcut that trusts TLS alone.
option(NOLM_REQUIRE_RELEASE_KEYS "Fail the configuration when NOLM_RELEASE_KEYS is empty" OFF)

# Every P-256 SubjectPublicKeyInfo starts with these 27 bytes (SEQUENCE,
# id-ecPublicKey, prime256v1, BIT STRING, uncompressed point) and is 91
# bytes long: 124 base64 characters, the last two "==" and the one before
# them carrying two bits only.
set(_p256_prefix "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE")
set(_literals "")
set(_count 0)
foreach(_entry IN LISTS NOLM_RELEASE_KEYS)
  string(STRIP "${_entry}" _key)
  if(_key STREQUAL "")
    continue()
  endif()
  math(EXPR _count "${_count} + 1")
  set(_named "NOLM_RELEASE_KEYS entry ${_count} (${_key})")
  string(LENGTH "${_key}" _length)
  if(NOT _key MATCHES "^[A-Za-z0-9+/]+=?=?$")
    message(FATAL_ERROR "${_named} is not base64")
  elseif(NOT _key MATCHES "^${_p256_prefix}")
    message(FATAL_ERROR "${_named} is not an ECDSA P-256 public key: another algorithm or curve, "
                        "or not a DER SubjectPublicKeyInfo (`openssl pkey -pubout` of a "
                        "prime256v1 key begins ${_p256_prefix})")
  elseif(NOT _length EQUAL 124)
    message(FATAL_ERROR "${_named} has ${_length} characters; a P-256 public key has 124")
  elseif(NOT _key MATCHES "[AQgw]==$")
    message(FATAL_ERROR "${_named} is not base64 as openssl writes it (its last bits are not zero)")
  endif()
  # The point must lie on the curve. Compiled with this build's own compiler,
  # so every toolchain refuses such a key, with or without openssl at hand.
  set(_check_dir "${CMAKE_CURRENT_BINARY_DIR}/release-key-check")
  file(WRITE "${_check_dir}/key.cpp"
       "#include \"net/p256_point.h\"\nstatic_assert(IsP256PublicKeyOnCurve(\"${_key}\"));\n")
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
  try_compile(_on_curve "${_check_dir}/build" SOURCES "${_check_dir}/key.cpp"
              CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${CMAKE_CURRENT_SOURCE_DIR}/src"
              CXX_STANDARD 20 CXX_STANDARD_REQUIRED ON NO_CACHE OUTPUT_VARIABLE _check_output)
  unset(CMAKE_TRY_COMPILE_TARGET_TYPE)
  if(NOT _on_curve)
    # GCC and Clang say "static assertion failed", MSVC "static_assert failed" (C2338).
    if(NOT _check_output MATCHES "static.assert|C2338")
      message(FATAL_ERROR "The release-key check did not compile:\n${_check_output}")
    endif()
    message(FATAL_ERROR "${_named} is not a valid P-256 public key: its point is not on the curve")
  endif()
  string(APPEND _literals "${_literals_separator}\"${_key}\"")
  set(_literals_separator ", ")
endforeach()
set(NOLM_RELEASE_KEY_COUNT ${_count})
set(NOLM_RELEASE_KEY_LITERALS "${_literals}")
unset(_literals_separator)

if(NOLM_REQUIRE_RELEASE_KEYS AND _count EQUAL 0)
  message(FATAL_ERROR "NOLM_REQUIRE_RELEASE_KEYS is ON but NOLM_RELEASE_KEYS holds no key: pass "
                      "the release-signing public keys (the base64 between the PEM lines of "
                      "`openssl pkey -pubout`), ';'-separated; an empty value here usually "
                      "means the pipeline's key variable was not set")
elseif(NOT BUILD_TESTING AND _count EQUAL 0)
  message(WARNING "NOLM_RELEASE_KEYS is empty: this build trusts the launcher archive on TLS "
                  "alone, so whoever controls the download host decides what players run")
endif()
