# Release-signing keys pinned into the shortcut: with one or more, it unpacks
# only an archive whose digest is in a manifest signed by one of them. Each
# entry is what `openssl pkey -pubout` prints between its BEGIN and END lines,
# without the line breaks. The keys must be right at build time: a shortcut
# ships inside games and is never updated, and Windows' CNG is not relied on
# to refuse a malformed key.
set(NOLM_RELEASE_KEYS "" CACHE STRING
    "Release-signing public keys (base64 DER SubjectPublicKeyInfo, ECDSA P-256), ';'-separated")

# Every P-256 SubjectPublicKeyInfo starts with these 27 bytes (SEQUENCE,
# id-ecPublicKey, prime256v1, BIT STRING, uncompressed point) and is 91
# bytes long: 124 base64 characters, the last two "==" and the one before
# them carrying two bits only.
set(_p256_prefix "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE")
find_program(NOLM_OPENSSL openssl)
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
  # The point must lie on the curve; openssl refuses to load one that does not.
  if(NOLM_OPENSSL)
    set(_pem "${CMAKE_CURRENT_BINARY_DIR}/release-key-check.pem")
    file(WRITE "${_pem}" "-----BEGIN PUBLIC KEY-----\n${_key}\n-----END PUBLIC KEY-----\n")
    execute_process(COMMAND "${NOLM_OPENSSL}" pkey -pubin -in "${_pem}" -pubcheck -noout
                    RESULT_VARIABLE _check OUTPUT_QUIET ERROR_QUIET)
    file(REMOVE "${_pem}")
    if(NOT _check EQUAL 0)
      message(FATAL_ERROR "${_named} is not a valid P-256 public key: its point is not on the curve")
    endif()
  endif()
  string(APPEND _literals "${_literals_separator}\"${_key}\"")
  set(_literals_separator ", ")
endforeach()
if(_count GREATER 0 AND NOT NOLM_OPENSSL)
  message(STATUS "openssl not found: the release keys' points are not checked against the curve")
endif()
set(NOLM_RELEASE_KEY_COUNT ${_count})
set(NOLM_RELEASE_KEY_LITERALS "${_literals}")
unset(_literals_separator)

if(NOT BUILD_TESTING AND _count EQUAL 0)
  message(WARNING "NOLM_RELEASE_KEYS is empty: this build trusts the launcher archive on TLS "
                  "alone, so whoever controls the download host decides what players run")
endif()
