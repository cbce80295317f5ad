# Delay-loaded DLLs: a program links them as usual, but Windows loads each
# one at the first call into it instead of at process start.
#
# The shortcut needs winhttp.dll and bcrypt.dll only when it installs the
# launcher. Loaded at start, they and what they pull in (ws2_32, and under
# Wine the TLS library behind bcrypt) delay the splash's first frame on every
# run, also on the common one where the launcher is already installed and
# nothing is downloaded.
#
# MinGW-w64 has no /DELAYLOAD: dlltool makes a delay-import library from the
# list of functions in cmake/delay-load/<dll>.def. A function missing from
# that list silently binds through the ordinary import library instead, which
# tests/build/check_exe.sh catches: these DLLs must not be in the load-time
# import table.
#
# Each argument names a .def file; its LIBRARY line names the DLL. A DLL may
# have more than one: dlltool numbers a library's functions in name order, so
# functions only nolm-check calls go in a .def of their own (winhttp-diagnosis)
# and the shortcut's delay imports stay byte for byte as they are.
#
# The thunks in those libraries call __delayLoadHelper2, which resolves a
# function and writes its address into the delay-import table. The C
# runtime's own writes there unprotected, and binutils 2.44 and later make
# that table read-only: every program linked with this function gets the
# project's resolver instead (src/common/delay_load_helper.cpp).
function(nolm_delay_load target)
  if(NOT MSVC)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/common/delay_load_helper.cpp)
    # The link map beside the program says which resolver was linked, for
    # tests/build/check_delay_slots.py; it does not change the program.
    target_link_options(${target} PRIVATE "LINKER:-Map=$<TARGET_FILE:${target}>.map")
  endif()
  foreach(name IN LISTS ARGN)
    set(def ${PROJECT_SOURCE_DIR}/cmake/delay-load/${name}.def)
    file(STRINGS ${def} library REGEX "^LIBRARY ")
    string(REGEX REPLACE "^LIBRARY ([^.]+)\\.dll$" "\\1" dll "${library}")
    if(MSVC)
      target_link_options(${target} PRIVATE /DELAYLOAD:${dll}.dll)
      target_link_libraries(${target} PRIVATE delayimp)
      continue()
    endif()
    find_program(NOLM_DLLTOOL NAMES ${TOOLCHAIN_PREFIX}-dlltool dlltool REQUIRED)
    set(lib ${PROJECT_BINARY_DIR}/delay-load/lib${name}-delay.a)
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/delay-load)
    # --temp-prefix: dlltool's member names otherwise contain its process id.
    add_custom_command(
      OUTPUT ${lib}
      COMMAND ${NOLM_DLLTOOL} --input-def ${def} --dllname ${dll}.dll --output-delaylib ${lib}
              --temp-prefix ${name}-delay
      DEPENDS ${def}
      WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/delay-load
      VERBATIM)
    add_custom_target(${target}-delay-${name} DEPENDS ${lib})
    add_dependencies(${target} ${target}-delay-${name})
    # Before the ordinary import libraries on the link line, so it wins.
    target_link_libraries(${target} PRIVATE ${lib})
  endforeach()
endfunction()
