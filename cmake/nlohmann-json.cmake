# nolm-check compares the shortcut's configuration scan with a real JSON
# reader, nlohmann's header-only library (Debian: nlohmann-json3-dev). Its
# headers are copied into the build tree and only that copy is put on the
# include path: the host's /usr/include holds the host's C headers, which a
# cross build must never see. Without the headers the checker is left out
# with a warning, so that a release build on a machine without them (or an
# MSVC build) still builds the shortcut; the tests need the checker and stop.
if(CMAKE_HOST_WIN32)
  set(_nlohmann_default "")
else()
  set(_nlohmann_default "/usr/include/nlohmann")
endif()
set(NOLM_NLOHMANN_JSON_DIR "${_nlohmann_default}"
    CACHE PATH "Folder holding nlohmann's json.hpp, for nolm-check; empty: no nolm-check")

set(NOLM_NLOHMANN_JSON_INCLUDE "")
if(NOT NOLM_NLOHMANN_JSON_DIR STREQUAL "" AND EXISTS "${NOLM_NLOHMANN_JSON_DIR}/json.hpp")
  set(_copy ${CMAKE_BINARY_DIR}/nlohmann-json)
  file(REMOVE_RECURSE ${_copy})
  file(COPY ${NOLM_NLOHMANN_JSON_DIR}/ DESTINATION ${_copy}/nlohmann)
  set(NOLM_NLOHMANN_JSON_INCLUDE ${_copy})
elseif(BUILD_TESTING)
  message(FATAL_ERROR "The tests need nolm-check, which needs nlohmann's json.hpp: install "
                      "nlohmann-json3-dev (scripts/setup.sh) or set NOLM_NLOHMANN_JSON_DIR")
else()
  message(WARNING "nolm-check is not built: no json.hpp in NOLM_NLOHMANN_JSON_DIR "
                  "('${NOLM_NLOHMANN_JSON_DIR}'); install nlohmann-json3-dev or set it")
endif()
