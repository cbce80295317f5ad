# Flags shared by the program, its library and the test programs.
add_library(nolm_options INTERFACE)
target_compile_definitions(nolm_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                  _WIN32_WINNT=0x0A00)
if(MSVC)
  target_compile_options(nolm_options INTERFACE /W4 /utf-8 /permissive-)
else()
  # The prefix map keeps build paths out of the binary, so that two checkouts
  # in different folders build the same bytes.
  target_compile_options(nolm_options INTERFACE -Wall -Wextra -ffunction-sections -fdata-sections
                                                -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
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
