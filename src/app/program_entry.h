#pragma once

#include <windows.h>

// The whole program: prepares the process, reads nolm/config.json beside the
// executable, and either reports an invalid configuration (returns 1) or runs
// the splash and the launch worker. Returns the process exit code.
int RunProgram(HINSTANCE instance);
