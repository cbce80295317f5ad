#include "check/check_command.h"

int wmain(int argc, wchar_t** argv) {
  return RunCheckCommand(argc, argv);
}
