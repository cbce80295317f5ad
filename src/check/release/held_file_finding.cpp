#include "check/release/held_file_finding.h"

#include <cstdio>

#include "check/wide_to_utf8.h"
#include "common/held_file_patience.h"

bool GaveUpOnHeldFile(const std::wstring& installDir, ReleaseReport& report) {
  const HeldFileGiveUp& giveUp = LastHeldFileGiveUp();
  if (!giveUp.happened) return false;
  // Only the first: once the budget is spent, every later held step gives up
  // at once, and those are consequences of the same hold.
  if (!report.heldFile.happened) {
    HeldFileReport& held = report.heldFile;
    held.happened = true;
    held.path = WideToUtf8(giveUp.path);
    const std::wstring prefix = installDir + L"\\";
    if (giveUp.path.compare(0, prefix.size(), prefix) == 0) {
      held.relative = WideToUtf8(giveUp.path.substr(prefix.size()));
    }
    held.step = WideToUtf8(HeldFileStepName(giveUp.step));
    held.waitedMs = giveUp.waitedMs;
    char waited[32];
    std::snprintf(waited, sizeof waited, "%.1f s", held.waitedMs / 1000.0);
    report.findings.push_back(
        {"file-held", true,
         "the " + held.step + " of " + held.path + " gave up after waiting " + waited +
             ", with the " + std::to_string(kHeldFileBudgetMs / 1000) +
             " s a start waits for held files spent: another program held the file, as security "
             "software does with a file just written; that is this machine, not the release, "
             "which the check could not follow past that step: run it again once the program "
             "lets go, or where it does not hold these files"});
  }
  ClearLastHeldFileGiveUp();
  return true;
}
