#include "common/held_file_patience.h"

namespace {

HeldFileGiveUp gLastGiveUp;

}  // namespace

const wchar_t* HeldFileStepName(HeldFileStep step) {
  switch (step) {
    case HeldFileStep::kHash:
      return L"hash";
    case HeldFileStep::kStart:
      return L"start";
    case HeldFileStep::kUnpack:
      return L"unpack";
    case HeldFileStep::kDelete:
      return L"delete";
    case HeldFileStep::kWrite:
      return L"write";
  }
  return L"";
}

bool IsHeldFileError(HeldFileStep step, DWORD error) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
  // A file deleted while another process still has it open stays as "delete
  // pending" until that handle closes, and a mapped file refuses the delete:
  // both say ACCESS_DENIED, which for the other steps means a real refusal.
  return step == HeldFileStep::kDelete && error == ERROR_ACCESS_DENIED;
}

HeldFileBudget& ProcessHeldFileBudget() {
  static HeldFileBudget budget;
  return budget;
}

const HeldFileGiveUp& LastHeldFileGiveUp() {
  return gLastGiveUp;
}

void ClearLastHeldFileGiveUp() {
  gLastGiveUp = HeldFileGiveUp();
}

bool WaitWhileHeld(HeldFileStep step, const std::wstring& path, DWORD error, DWORD* waitedMs,
                   HeldFileBudget& budget) {
  if (!IsHeldFileError(step, error)) return false;
  if (budget.remainingMs == 0) {
    gLastGiveUp.happened = true;
    gLastGiveUp.path = path;
    gLastGiveUp.step = step;
    gLastGiveUp.waitedMs = *waitedMs;
    return false;
  }
  // The last wait may be shorter than a full step, so the budget is never overrun.
  const DWORD pause = budget.remainingMs < kHeldFileRetryMs ? budget.remainingMs : kHeldFileRetryMs;
  budget.remainingMs -= pause;
  *waitedMs += pause;
  Sleep(pause);
  return true;
}
