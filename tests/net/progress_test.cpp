#include "net/progress.h"

#include <gtest/gtest.h>

TEST(ProgressThousandths, RoundsDownInSixtyFourBits) {
  EXPECT_EQ(ProgressThousandths(0, 100), 0);
  EXPECT_EQ(ProgressThousandths(1, 3), 333);
  EXPECT_EQ(ProgressThousandths(100, 100), 1000);
  // 4e9 * 1000 overflows 32 bits; the arithmetic must not.
  EXPECT_EQ(ProgressThousandths(4000000000u, 4000000000u), 1000);
  EXPECT_EQ(ProgressThousandths(2000000000u, 4000000000u), 500);
}

TEST(ProgressThousandths, MoreThanAnnouncedIsNotClamped) {
  EXPECT_EQ(ProgressThousandths(300, 100), 3000);
}
