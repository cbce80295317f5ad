#include <windows.h>

#include "check/check_command.h"

int wmain(int argc, wchar_t** argv) {
  // It may be run from a game's folder too, among DLLs it must not load.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return RunCheckCommand(argc, argv);
}
