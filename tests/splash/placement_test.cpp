#include "splash/placement.h"

#include <gtest/gtest.h>

namespace {

void ExpectPlacement(float w, float h, float boxW, float boxH, bool cover, float x, float y,
                     float dw, float dh) {
  const ImagePlacement at = PlaceImage(w, h, boxW, boxH, cover);
  EXPECT_NEAR(at.x, x, 1e-3) << w << "x" << h;
  EXPECT_NEAR(at.y, y, 1e-3) << w << "x" << h;
  EXPECT_NEAR(at.width, dw, 1e-3) << w << "x" << h;
  EXPECT_NEAR(at.height, dh, 1e-3) << w << "x" << h;
}

}  // namespace

TEST(Placement, CoverFillsTheFrameCentred) {
  ExpectPlacement(1600, 700, 800, 350, true, 0, 0, 800, 350);
  ExpectPlacement(1920, 1080, 800, 350, true, 0, -50, 800, 450);
  ExpectPlacement(1000, 1000, 800, 350, true, 0, -225, 800, 800);
  ExpectPlacement(400, 350, 800, 350, true, 0, -175, 800, 700);
  ExpectPlacement(800, 350, 800, 350, true, 0, 0, 800, 350);
}

TEST(Placement, FitStaysInsideTheTitleBoxCentredOnTheFrame) {
  const float boxW = 0.7f * 800.0f;
  const float boxH = 0.6f * 350.0f;
  ExpectPlacement(280, 105, boxW, boxH, false, 120, 70, 560, 210);
  ExpectPlacement(1000, 200, boxW, boxH, false, 120, 119, 560, 112);
  ExpectPlacement(600, 100, boxW, boxH, false, 120, 128.33333f, 560, 93.33334f);
}

TEST(Placement, TitleBoxKeepsItsSinglePrecisionHeight) {
  EXPECT_EQ(kTitleBoxWidth, 560.0f);
  EXPECT_FLOAT_EQ(kTitleBoxHeight, 210.0000153f);
  EXPECT_NE(kTitleBoxHeight, 210.0f);
}

TEST(Placement, FillWidthStaysWithinTheFrame) {
  EXPECT_EQ(ProgressFillWidth(0), 0);
  EXPECT_EQ(ProgressFillWidth(1), 0);
  EXPECT_EQ(ProgressFillWidth(2), 1);
  EXPECT_EQ(ProgressFillWidth(500), 400);
  EXPECT_EQ(ProgressFillWidth(999), 799);
  EXPECT_EQ(ProgressFillWidth(1000), 800);
  EXPECT_EQ(ProgressFillWidth(1001), 800);
  // Beyond 2,684,354 the unclamped product would overflow 32 bits.
  EXPECT_EQ(ProgressFillWidth(2684355), 800);
  EXPECT_EQ(ProgressFillWidth(INT32_MAX), 800);
}

TEST(Placement, WindowIsCentredByTruncatingDivision) {
  EXPECT_EQ(CenteredOrigin(1280, 1024, 800, 350).x, 240);
  EXPECT_EQ(CenteredOrigin(1280, 1024, 800, 350).y, 337);
  EXPECT_EQ(CenteredOrigin(640, 480, 800, 350).x, -80);
  EXPECT_EQ(CenteredOrigin(801, 351, 800, 350).x, 0);
  EXPECT_EQ(CenteredOrigin(799, 349, 800, 350).x, 0);  // -1/2 truncates toward zero
  EXPECT_EQ(CenteredOrigin(797, 349, 800, 350).x, -1);
}
