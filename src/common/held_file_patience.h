#pragma once

#include <windows.h>

#include <string>

// Security software, indexers and sync clients open a new file the moment
// its writer closes it, and hold it while they read: sharing reads only, or
// nothing. A step on such a file fails for a moment and then works. This is
// the one rule for how long the program waits for that.

// The steps that wait, as a report names them.
enum class HeldFileStep { kHash, kStart, kUnpack, kDelete, kWrite };

// Short lower-case name of a step: "hash", "start", "unpack", "delete", "write".
const wchar_t* HeldFileStepName(HeldFileStep step);

// True when `error`, from a failed `step` on a file, means another process
// holds the file for now: ERROR_SHARING_VIOLATION or ERROR_LOCK_VIOLATION for
// every step, and ERROR_ACCESS_DENIED too for a delete (delete pending, or a
// file another process has mapped). Every other error is final, the
// security software's own ERROR_VIRUS_INFECTED and ERROR_VIRUS_DELETED
// included. Pure.
bool IsHeldFileError(HeldFileStep step, DWORD error);

// Milliseconds between two tries of a held step, and the most that all the
// waits charged to one budget may add up to.
constexpr DWORD kHeldFileRetryMs = 100;
constexpr DWORD kHeldFileBudgetMs = 10000;

// Time a process may still spend waiting for held files. The program's one
// start uses ProcessHeldFileBudget(); nolm-check's removal of its scratch
// folder has one of its own. Not thread-safe: one thread spends a budget.
struct HeldFileBudget {
  DWORD remainingMs = kHeldFileBudgetMs;
};
HeldFileBudget& ProcessHeldFileBudget();

// The last step that gave up on a held file because its budget ran out,
// kept for nolm-check's verdict; `happened` false while none has.
struct HeldFileGiveUp {
  bool happened = false;
  std::wstring path;
  HeldFileStep step = HeldFileStep::kHash;
  DWORD waitedMs = 0;  // what this step itself waited before it gave up
};
const HeldFileGiveUp& LastHeldFileGiveUp();
void ClearLastHeldFileGiveUp();

// After `step` on `path` failed with `error`: when the error is a hold and
// `budget` has time left, sleeps kHeldFileRetryMs, or what is left of the
// budget when that is less, charges the sleep to the budget and returns true,
// so that the caller tries again. Otherwise returns false at
// once and, when the error was a hold, records the give-up. `waitedMs` is what
// this step has waited so far; it is increased by the sleep.
bool WaitWhileHeld(HeldFileStep step, const std::wstring& path, DWORD error, DWORD* waitedMs,
                   HeldFileBudget& budget = ProcessHeldFileBudget());

// Runs `attempt` (returns true on success, leaves its error in
// GetLastError() on failure) until it succeeds or WaitWhileHeld says stop.
// Nothing waits, and nothing is charged, when the first try succeeds.
template <typename Attempt>
bool RetryWhileHeld(HeldFileStep step, const std::wstring& path, Attempt attempt,
                    HeldFileBudget& budget = ProcessHeldFileBudget()) {
  DWORD waitedMs = 0;
  for (;;) {
    if (attempt()) return true;
    if (!WaitWhileHeld(step, path, GetLastError(), &waitedMs, budget)) return false;
  }
}
