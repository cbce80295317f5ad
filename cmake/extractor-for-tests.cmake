# Test builds download from the local fixture server and run a 7zr.exe built
# here from Debian's 7-Zip source, so they carry their own deployment values.
#
# Those values are normal variables: they shadow the cache for this
# configuration only and are never written to it. A folder configured for
# tests and then reconfigured as a release (BUILD_TESTING=OFF) compiles the
# release's own values, or the defaults, never the test ones.
if(NOT BUILD_TESTING OR NOT CMAKE_CROSSCOMPILING)
  return()
endif()

execute_process(
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/build-7zr.sh
  OUTPUT_VARIABLE NOLM_TEST_7ZR
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE _build_7zr_result)
if(NOT _build_7zr_result EQUAL 0 OR NOT EXISTS "${NOLM_TEST_7ZR}")
  message(FATAL_ERROR "Could not build 7zr.exe for the tests (scripts/build-7zr.sh)")
endif()
file(SHA256 "${NOLM_TEST_7ZR}" _test_7zr_digest)

# A file of the tests (served and run by them), not a value compiled in.
set(NOLM_TEST_7ZR "${NOLM_TEST_7ZR}" CACHE FILEPATH "7zr.exe the tests serve and run" FORCE)
set(NOLM_DOWNLOAD_HOST "localhost")
set(NOLM_EXTRACTOR_HOST "127.0.0.2")
set(NOLM_EXTRACTOR_SHA256 "${_test_7zr_digest}")
message(STATUS "Test build: hosts localhost and 127.0.0.2, 7zr.exe ${_test_7zr_digest}")
