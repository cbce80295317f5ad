#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Runs `commandLine` (first token: the program, quoted when it may hold
// spaces) with no window and no console to ask on: its standard input is the
// NUL device, so any prompt reads end of input at once instead of waiting for
// a person who cannot see it. Its standard output and error go to `output`
// (any writable handle of the caller's; null: the NUL device). The child
// inherits those handles and no other. Waits for it without a time-out and
// never ends it while it runs.
//
// The child runs in a kill-on-close job of ours from its first instruction
// on, so that it, and whatever it starts, ends as soon as the calling process
// ends, however that happens; when this returns, the child has ended and so
// has anything it left in the job. The job nests inside any job the caller
// runs in, never breaking away from it; where the platform refuses the job
// (creating it, its limit or the assignment), the child runs as it would
// without one. Processes the caller starts itself are never in it.
//
// A program that another process holds as it is started (security software
// reading a new file) is started again by the held-file rule
// (held_file_patience.h), charged to the process's budget.
//
// Returns the child's exit code; nullopt when it did not start.
std::optional<DWORD> RunHiddenProcessForExitCode(std::wstring commandLine, HANDLE output);

// True only when the program started and exited with code 0; its output is
// discarded.
bool RunHiddenProcess(std::wstring commandLine);
