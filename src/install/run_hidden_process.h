#pragma once

#include <string>

// Runs `commandLine` (first token: the program, quoted when it may hold
// spaces) with no window, waits for it without a time-out and returns true
// only when it started and exited with code 0. Never terminates the child.
bool RunHiddenProcess(std::wstring commandLine);
