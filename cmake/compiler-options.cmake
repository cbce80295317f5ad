# Flags shared by the program, its library and the test programs.

# The static C and C++ runtime: a player's machine need not have the Visual
# C++ redistributable. CMP0091 is NEW (cmake_minimum_required 3.25), so this
# variable, not /MD in the flags, picks the runtime of every target created
# after this point.
set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)

add_library(nolm_options INTERFACE)
target_compile_definitions(nolm_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                  _WIN32_WINNT=0x0A00)
# The program's time goes to the network, the extractor and the platform, not
# to its own code, so every build type but Debug optimises for size: Release
# ships no bigger than MinSizeRel.
if(MSVC)
  target_compile_options(nolm_options INTERFACE /W4 /utf-8 /permissive-)
  # Target options come after the build type's flags, but cl.exe warns when
  # /O1 overrides /O2 (D9025): replace it in the flags instead. These are
  # directory variables shadowing the cache, for this project only.
  foreach(lang C CXX)
    foreach(config RELEASE RELWITHDEBINFO)
      string(REPLACE "/O2" "/O1" CMAKE_${lang}_FLAGS_${config} "${CMAKE_${lang}_FLAGS_${config}}")
    endforeach()
  endforeach()
  # Release builds are reproducible, as with MinGW-w64 below. /Brepro puts a
  # hash of the content where the compiler and linker would put the time;
  # /pathmap (enabled by /experimental:deterministic) gives __FILE__ and the
  # objects' paths relative to the checkout; no debug information, so the
  # image names no PDB path; no incremental linking, whose padding and thunks
  # depend on earlier links. /RELEASE writes the PE checksum, as MinGW-w64's
  # linker does: osslsigncode recomputes it when it strips a signature, so a
  # stripped release matches its rebuild only when the build set it too.
  # Not in Debug: /pathmap keeps the debugger from finding the sources.
  file(TO_NATIVE_PATH "${CMAKE_SOURCE_DIR}" _native_source_dir)
  set(_release "$<CONFIG:MinSizeRel,Release>")
  target_compile_options(
    nolm_options INTERFACE "$<${_release}:/Brepro;/experimental:deterministic>"
                           "$<${_release}:/pathmap:${_native_source_dir}=.>")
  target_link_options(nolm_options INTERFACE
                      "$<${_release}:/Brepro;/DEBUG:NONE;/INCREMENTAL:NO;/RELEASE>")
else()
  # The prefix map keeps build paths out of the binary, so that two checkouts
  # in different folders build the same bytes. -Os comes after the build
  # type's -O2/-O3 on the command line, so it wins.
  target_compile_options(nolm_options INTERFACE -Wall -Wextra -ffunction-sections -fdata-sections
                                                -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                                                $<$<NOT:$<CONFIG:Debug>>:-Os>)
  # -static: a player's machine has no libstdc++, libgcc or winpthread DLLs.
  # --no-insert-timestamp: no link time in the PE header, again for identical
  # builds.
  target_link_options(nolm_options INTERFACE -static -Wl,--gc-sections -Wl,--no-insert-timestamp
                      $<$<CONFIG:MinSizeRel,Release>:-s>)
endif()

# Entry points taking UTF-16 arguments (wWinMain, wmain).
function(nolm_unicode_entry target)
  if(NOT MSVC)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# Linked into each program as an object of its own, where a library member
# could not replace the runtime's: libstdc++'s terminate handler without the
# demangler (src/common/terminate_handler.cpp).
add_library(nolm_runtime INTERFACE)
if(NOT MSVC)
  target_sources(nolm_runtime INTERFACE ${PROJECT_SOURCE_DIR}/src/common/terminate_handler.cpp)
endif()
