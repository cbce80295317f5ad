#include "common/held_file_patience.h"

#include "install/held_file_steps.h"

#include <windows.h>

#include <functional>

#include <gtest/gtest.h>

namespace {

// ERROR_VIRUS_INFECTED and ERROR_VIRUS_DELETED, which some MinGW-w64 headers lack.
constexpr DWORD kVirusInfected = 225;
constexpr DWORD kVirusDeleted = 226;

// A step that fails with `error` on its first `failures` tries, counting them.
struct HeldAttempt {
  DWORD error;
  int failures;
  int tries = 0;
  bool operator()() {
    if (tries++ < failures) {
      SetLastError(error);
      return false;
    }
    return true;
  }
};

class HeldFilePatience : public ::testing::Test {
 protected:
  void SetUp() override { ClearLastHeldFileGiveUp(); }
};

}  // namespace

TEST_F(HeldFilePatience, OnlyHoldsWaitAndAccessDeniedOnlyForDeletes) {
  for (HeldFileStep step : {HeldFileStep::kHash, HeldFileStep::kStart, HeldFileStep::kUnpack,
                            HeldFileStep::kDelete, HeldFileStep::kWrite}) {
    SCOPED_TRACE(HeldFileStepName(step));
    EXPECT_TRUE(IsHeldFileError(step, ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(IsHeldFileError(step, ERROR_LOCK_VIOLATION));
    EXPECT_EQ(IsHeldFileError(step, ERROR_ACCESS_DENIED), step == HeldFileStep::kDelete);
    EXPECT_FALSE(IsHeldFileError(step, kVirusInfected));
    EXPECT_FALSE(IsHeldFileError(step, kVirusDeleted));
    EXPECT_FALSE(IsHeldFileError(step, ERROR_FILE_NOT_FOUND));
  }
  EXPECT_STREQ(HeldFileStepName(HeldFileStep::kUnpack), L"unpack");
}

TEST_F(HeldFilePatience, FirstTrySuccessChargesNothing) {
  HeldFileBudget budget;
  HeldAttempt attempt{ERROR_SHARING_VIOLATION, 0};
  EXPECT_TRUE(RetryWhileHeld(HeldFileStep::kHash, L"a", std::ref(attempt), budget));
  EXPECT_EQ(attempt.tries, 1);
  EXPECT_EQ(budget.remainingMs, kHeldFileBudgetMs);
  EXPECT_FALSE(LastHeldFileGiveUp().happened);
}

TEST_F(HeldFilePatience, AHoldThatEndsIsWaitedFor) {
  HeldFileBudget budget;
  HeldAttempt attempt{ERROR_LOCK_VIOLATION, 2};
  EXPECT_TRUE(RetryWhileHeld(HeldFileStep::kStart, L"a", std::ref(attempt), budget));
  EXPECT_EQ(attempt.tries, 3);
  EXPECT_EQ(budget.remainingMs, kHeldFileBudgetMs - 2 * kHeldFileRetryMs);
  EXPECT_FALSE(LastHeldFileGiveUp().happened);
}

TEST_F(HeldFilePatience, FinalErrorsFailAtOnce) {
  for (DWORD error : {kVirusInfected, DWORD{ERROR_ACCESS_DENIED}}) {
    HeldFileBudget budget;
    HeldAttempt attempt{error, 1};
    EXPECT_FALSE(RetryWhileHeld(HeldFileStep::kStart, L"a", std::ref(attempt), budget));
    EXPECT_EQ(attempt.tries, 1);
    EXPECT_EQ(budget.remainingMs, kHeldFileBudgetMs);
  }
  EXPECT_FALSE(LastHeldFileGiveUp().happened);
}

// ACCESS_DENIED is a hold for a delete, but a read-only file says it too and
// stays refused: its delete must not spend the start's wait on it.
TEST_F(HeldFilePatience, AReadOnlyFileIsNoHold) {
  wchar_t folder[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring path = std::wstring(folder) + L"nolm-read-only-delete.txt";
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_READONLY, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  HeldFileBudget budget;
  EXPECT_FALSE(DeleteFileWhileHeld(path, budget));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_READ_ONLY});
  EXPECT_EQ(budget.remainingMs, kHeldFileBudgetMs);
  EXPECT_FALSE(LastHeldFileGiveUp().happened);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteFileWhileHeld(path, budget));
}

// The steps of one start share one budget: once a step has spent it, the
// next held step gives up without a wait, and each give-up is recorded.
TEST_F(HeldFilePatience, TheSharedBudgetRunsOut) {
  HeldFileBudget budget;
  budget.remainingMs = 2 * kHeldFileRetryMs + 50;
  HeldAttempt first{ERROR_SHARING_VIOLATION, 10};
  EXPECT_FALSE(RetryWhileHeld(HeldFileStep::kDelete, L"C:\\marker", std::ref(first), budget));
  EXPECT_EQ(first.tries, 4);
  EXPECT_EQ(budget.remainingMs, 0u);
  EXPECT_TRUE(LastHeldFileGiveUp().happened);
  EXPECT_EQ(LastHeldFileGiveUp().path, L"C:\\marker");
  EXPECT_EQ(LastHeldFileGiveUp().step, HeldFileStep::kDelete);
  EXPECT_EQ(LastHeldFileGiveUp().waitedMs, 2 * kHeldFileRetryMs + 50);

  HeldAttempt second{ERROR_SHARING_VIOLATION, 10};
  EXPECT_FALSE(RetryWhileHeld(HeldFileStep::kWrite, L"C:\\version", std::ref(second), budget));
  EXPECT_EQ(second.tries, 1);
  EXPECT_EQ(LastHeldFileGiveUp().path, L"C:\\version");
  EXPECT_EQ(LastHeldFileGiveUp().waitedMs, 0u);

  ClearLastHeldFileGiveUp();
  EXPECT_FALSE(LastHeldFileGiveUp().happened);
}
