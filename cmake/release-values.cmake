# A build without tests is a release: it compiles the values it was given.
# Values that belong to a test build (a loopback host, a digest other than
# the official 7zr.exe's) may be wanted for an experiment, so they are
# allowed, but never quietly.
if(BUILD_TESTING)
  return()
endif()

foreach(variable NOLM_DOWNLOAD_HOST NOLM_EXTRACTOR_HOST)
  string(TOLOWER "${${variable}}" _host)
  string(REGEX REPLACE "^\\[(.*)\\]$" "\\1" _host "${_host}")
  # Names that resolve to the machine itself (RFC 6761), 127.0.0.0/8 in full
  # or short form (127.1), and ::1 in any spelling or as a mapped IPv4.
  if(_host MATCHES "^(localhost|localhost\\.localdomain|.+\\.localhost)\\.?$"
     OR _host MATCHES "^127\\.[0-9.]+$"
     OR _host MATCHES "^[0:]*::?0*1$"
     OR _host MATCHES "^[0:]*:ffff:127\\.[0-9.]+$")
    message(WARNING "${variable} is \"${${variable}}\", a loopback host: this build downloads "
                    "from the player's own machine, not from a server. Is this a test value?")
  endif()
endforeach()

if(NOT NOLM_EXTRACTOR_SHA256 STREQUAL NOLM_OFFICIAL_7ZR_SHA256)
  message(WARNING "NOLM_EXTRACTOR_SHA256 is ${NOLM_EXTRACTOR_SHA256}, not the digest of the "
                  "official 7zr.exe 26.01 (${NOLM_OFFICIAL_7ZR_SHA256}): this build runs no "
                  "7zr.exe but one with that digest. Is this a test value?")
endif()
