# Flags shared by the program, its library and the test programs.
add_library(nolm_options INTERFACE)
target_compile_definitions(nolm_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                  _WIN32_WINNT=0x0A00)
if(MSVC)
  target_compile_options(nolm_options INTERFACE /W4 /utf-8 /permissive-)
else()
  target_compile_options(nolm_options INTERFACE -Wall -Wextra -ffunction-sections -fdata-sections)
  # -static: a player's machine has no libstdc++, libgcc or winpthread DLLs.
  target_link_options(nolm_options INTERFACE -static -Wl,--gc-sections
                      $<$<CONFIG:MinSizeRel,Release>:-s>)
endif()

# Entry points taking UTF-16 arguments (wWinMain, wmain).
function(nolm_unicode_entry target)
  if(NOT MSVC)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()
