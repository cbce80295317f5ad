#include <windows.h>

#include "app/program_entry.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return RunProgram(instance);
}
