#include "check/diagnose/diagnosis_verdict.h"

#include <gtest/gtest.h>

// A start meets the release's own fault in an earlier step first: a host
// that compresses the archive is not hidden by a scanner that then held
// lib\7zr.exe past the wait.
TEST(DecideVerdict, AnEarlierStepsErrorComesBeforeAHeldFile) {
  DiagnosisReport report;
  report.installation.state = "absent";
  report.replayed = true;
  report.replay.heldFile = {true, "C:\\users\\zoe\\Nolm\\nolm-check-7\\install\\lib\\7zr.exe",
                            "lib\\7zr.exe", "hash", 10000};
  report.replay.findings.push_back({"file-held", true, "the hash of ... gave up"});
  EXPECT_EQ(DecideVerdict(report).code, "file-held");
  report.replay.findings.push_back({"archive-encoded", true, "gzip"});
  EXPECT_EQ(DecideVerdict(report).code, "archive-encoded");
}
