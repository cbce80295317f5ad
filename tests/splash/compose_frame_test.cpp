#include "splash/compose_frame.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "splash/placement.h"

// Frames are checked in flat regions with tolerances: the scaled and blended
// pixels are the platform renderer's (Wine scales bilinearly whatever mode is
// asked for), while what lies where is ours.

namespace {

using Gdiplus::ARGB;

constexpr ARGB kBackground = 0xFF101014;
constexpr ARGB kWhite = 0xFFFFFFFF;
constexpr int kBarTop = 344;

std::string Hex(ARGB colour) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(colour));
  return text;
}

bool Near(ARGB actual, ARGB expected, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = static_cast<int>((actual >> shift) & 0xFF);
    const int e = static_cast<int>((expected >> shift) & 0xFF);
    if (a - e > tolerance || e - a > tolerance) return false;
  }
  return true;
}

// Near-white in the colour channels: anti-aliased text cores, the bar's fill.
bool IsWhitish(ARGB colour) {
  return ((colour >> 16) & 0xFF) >= 200 && ((colour >> 8) & 0xFF) >= 200 && (colour & 0xFF) >= 200;
}

// Black at alpha 120 over an opaque colour, per channel c * (255 - 120) / 255.
ARGB TrackOver(ARGB below) {
  ARGB result = 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) {
    const ARGB channel = (below >> shift) & 0xFF;
    result |= ((channel * 135 + 127) / 255) << shift;
  }
  return result;
}

// A test image: `colours` as equal horizontal bands over the whole height,
// optionally on a transparent margin (the opaque part then sits inside it).
std::unique_ptr<Gdiplus::Bitmap> MakeImage(int width, int height, const std::vector<ARGB>& colours,
                                           int marginX = 0, int marginY = 0) {
  auto image = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
  Gdiplus::Graphics graphics(image.get());
  graphics.Clear(Gdiplus::Color(0x00000000));
  const int bandHeight = (height - 2 * marginY) / static_cast<int>(colours.size());
  for (size_t i = 0; i < colours.size(); ++i) {
    Gdiplus::SolidBrush brush{Gdiplus::Color(colours[i])};
    graphics.FillRectangle(&brush, marginX, marginY + static_cast<int>(i) * bandHeight,
                           width - 2 * marginX, bandHeight);
  }
  return image;
}

// The composed frame's pixels, read back once.
class Frame {
 public:
  Frame(Gdiplus::Image* splash, Gdiplus::Image* title, int32_t progress) {
    std::unique_ptr<Gdiplus::Bitmap> frame = ComposeSplashFrame(splash, title, progress);
    if (!frame) {
      ADD_FAILURE() << "no frame";
      return;
    }
    EXPECT_EQ(frame->GetWidth(), static_cast<UINT>(kFrameWidth));
    EXPECT_EQ(frame->GetHeight(), static_cast<UINT>(kFrameHeight));
    EXPECT_EQ(frame->GetPixelFormat(), PixelFormat32bppARGB);
    Gdiplus::Rect all(0, 0, kFrameWidth, kFrameHeight);
    Gdiplus::BitmapData data;
    if (frame->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) !=
        Gdiplus::Ok) {
      ADD_FAILURE() << "frame cannot be read";
      return;
    }
    pixels_.resize(kFrameWidth * kFrameHeight);
    for (int y = 0; y < kFrameHeight; ++y) {
      const auto* row = static_cast<const ARGB*>(data.Scan0) + y * data.Stride / 4;
      std::copy(row, row + kFrameWidth, pixels_.begin() + y * kFrameWidth);
    }
    frame->UnlockBits(&data);
  }

  ARGB at(int x, int y) const { return pixels_.empty() ? 0 : pixels_[y * kFrameWidth + x]; }

  // Every pixel of [x0, x1) x [y0, y1) is near `expected`; reports the first
  // one that is not, and how many are off.
  ::testing::AssertionResult Region(int x0, int y0, int x1, int y1, ARGB expected,
                                    int tolerance = 3) const {
    int off = 0, firstX = 0, firstY = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        if (Near(at(x, y), expected, tolerance)) continue;
        if (off++ == 0) firstX = x, firstY = y;
      }
    }
    if (off == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << off << " pixels differ from " << Hex(expected) << ", first (" << firstX << ", "
           << firstY << ") = " << Hex(at(firstX, firstY));
  }

  int CountWhitish(int x0, int y0, int x1, int y1) const {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) count += IsWhitish(at(x, y)) ? 1 : 0;
    }
    return count;
  }

 private:
  std::vector<ARGB> pixels_;
};

}  // namespace

TEST(ComposeFrame, WithoutArtworkThePlaceholderTextIsCentredOnTheBackground) {
  const Frame frame(nullptr, nullptr, -1);
  // The text, 30 px bold, lies well within this box; everything else,
  // the bar's rows included, is plain background.
  const int left = 200, top = 125, right = 600, bottom = 225;
  EXPECT_TRUE(frame.Region(0, 0, kFrameWidth, top, kBackground, 0));
  EXPECT_TRUE(frame.Region(0, bottom, kFrameWidth, kFrameHeight, kBackground, 0));
  EXPECT_TRUE(frame.Region(0, top, left, bottom, kBackground, 0));
  EXPECT_TRUE(frame.Region(right, top, kFrameWidth, bottom, kBackground, 0));

  int count = 0, minX = kFrameWidth, maxX = 0, minY = kFrameHeight, maxY = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (!IsWhitish(frame.at(x, y))) continue;
      ++count;
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
  }
  ASSERT_GT(count, 300) << "no placeholder text drawn";
  // Centred both ways; a wide text line of a 30 px font.
  EXPECT_NEAR((minX + maxX) / 2.0, 400.0, 12.0);
  EXPECT_NEAR((minY + maxY) / 2.0, 175.0, 10.0);
  EXPECT_GT(maxX - minX, 150);
  EXPECT_LT(maxY - minY, 40);
}

TEST(ComposeFrame, EitherImageAloneSuppressesThePlaceholderText) {
  const ARGB splashColour = 0xFF2060A0;
  const auto splash = MakeImage(800, 350, {splashColour});
  const Frame splashOnly(splash.get(), nullptr, -1);
  EXPECT_EQ(splashOnly.CountWhitish(0, 0, kFrameWidth, kFrameHeight), 0);
  EXPECT_TRUE(splashOnly.Region(5, 5, 795, 345, splashColour));

  const ARGB titleColour = 0xFFC03030;
  const auto title = MakeImage(280, 105, {titleColour});
  const Frame titleOnly(nullptr, title.get(), -1);
  EXPECT_EQ(titleOnly.CountWhitish(0, 0, kFrameWidth, kFrameHeight), 0);
  EXPECT_TRUE(titleOnly.Region(300, 150, 500, 200, titleColour));
  EXPECT_TRUE(titleOnly.Region(0, 0, 100, 60, kBackground, 0));
}

TEST(ComposeFrame, ProgressBarTrackAndFillAlongTheBottomRows) {
  const ARGB track = TrackOver(kBackground);
  {
    SCOPED_TRACE("progress 0: the translucent track alone");
    const Frame frame(nullptr, nullptr, 0);
    EXPECT_TRUE(frame.Region(0, kBarTop, kFrameWidth, kFrameHeight, track, 2));
    EXPECT_TRUE(frame.Region(0, kBarTop - 4, kFrameWidth, kBarTop, kBackground, 0));
  }
  {
    SCOPED_TRACE("progress 500: white up to x 400, track beyond");
    const Frame frame(nullptr, nullptr, 500);
    EXPECT_TRUE(frame.Region(0, kBarTop, 399, kFrameHeight, kWhite, 2));
    EXPECT_TRUE(frame.Region(401, kBarTop, kFrameWidth, kFrameHeight, track, 2));
    EXPECT_TRUE(frame.Region(0, kBarTop - 4, kFrameWidth, kBarTop, kBackground, 0));
  }
  for (const int32_t full : {1000, 1001, 2684355, INT_MAX}) {
    SCOPED_TRACE("progress " + std::to_string(full) + ": full white");
    const Frame frame(nullptr, nullptr, full);
    EXPECT_TRUE(frame.Region(0, kBarTop, kFrameWidth, kFrameHeight, kWhite, 2));
  }
  {
    SCOPED_TRACE("progress -1: no bar at all");
    const Frame frame(nullptr, nullptr, -1);
    EXPECT_TRUE(frame.Region(0, kBarTop, kFrameWidth, kFrameHeight, kBackground, 0));
  }
}

TEST(ComposeFrame, SplashCoversTheFrameCroppedEquallyTopAndBottom) {
  // Nine bands of 120 rows; scaled by 800/1920 each is 50 rows high and the
  // image starts at y -50, so band 0 and band 8 fall outside the frame and
  // band k fills rows 50 (k - 1) to 50 k.
  const std::vector<ARGB> bands = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF,
                                   0xFFFF00FF, 0xFF808080, 0xFFFF8000, 0xFF8000FF};
  const auto splash = MakeImage(1920, 1080, bands);
  const Frame frame(splash.get(), nullptr, -1);
  for (int k = 1; k <= 7; ++k) {
    // Left and right edges included: the cover reaches both sides.
    EXPECT_TRUE(frame.Region(1, 50 * (k - 1) + 8, kFrameWidth - 1, 50 * k - 8, bands[k], 6))
        << "band " << k;
  }
}

TEST(ComposeFrame, SplashOfFrameSizeIsDrawnOneToOne) {
  // A one-pixel checkerboard: any scaling or sub-pixel shift would blend its
  // two colours.
  const ARGB a = 0xFFE02020, b = 0xFF2020E0;
  auto splash = std::make_unique<Gdiplus::Bitmap>(800, 350, PixelFormat32bppARGB);
  for (int y = 0; y < 350; ++y) {
    for (int x = 0; x < 800; ++x) splash->SetPixel(x, y, Gdiplus::Color((x + y) % 2 ? a : b));
  }
  const Frame frame(splash.get(), nullptr, -1);
  int off = 0;
  for (int y = 1; y < kFrameHeight - 1; ++y) {
    for (int x = 1; x < kFrameWidth - 1; ++x)
      off += Near(frame.at(x, y), (x + y) % 2 ? a : b, 8) ? 0 : 1;
  }
  EXPECT_EQ(off, 0) << "pixel (1, 1) = " << Hex(frame.at(1, 1));
}

TEST(ComposeFrame, TitleFitsItsBoxOverTheSplashShowingItThroughTransparency) {
  // 1000 x 200 fits at scale 0.56 into (120, 119, 560, 112); its opaque core
  // (100 and 50 px of transparent margin) lands on (176, 147)-(624, 203).
  const ARGB splashColour = 0xFF2060A0, titleColour = 0xFF40C040;
  const auto splash = MakeImage(800, 350, {splashColour});
  const auto title = MakeImage(1000, 200, {titleColour}, 100, 50);
  const Frame frame(splash.get(), title.get(), -1);
  EXPECT_TRUE(frame.Region(186, 155, 614, 195, titleColour));
  EXPECT_TRUE(Near(frame.at(400, 175), titleColour, 3)) << Hex(frame.at(400, 175));
  // Inside the drawn rectangle but transparent there: the splash shows.
  EXPECT_TRUE(frame.Region(126, 155, 168, 195, splashColour));
  EXPECT_TRUE(frame.Region(632, 155, 674, 195, splashColour));
  EXPECT_TRUE(frame.Region(186, 121, 614, 140, splashColour));
  EXPECT_TRUE(frame.Region(186, 210, 614, 229, splashColour));
  // Outside it.
  EXPECT_TRUE(frame.Region(5, 5, 795, 100, splashColour));
}

TEST(ComposeFrame, SmallTitleIsEnlargedToMeetTheBoxCentred) {
  // 280 x 105 doubles to (120, 70, 560, 210).
  const ARGB titleColour = 0xFFE0A020;
  const auto title = MakeImage(280, 105, {titleColour});
  const Frame frame(nullptr, title.get(), -1);
  EXPECT_TRUE(frame.Region(124, 74, 676, 276, titleColour));
  EXPECT_TRUE(frame.Region(0, 0, kFrameWidth, 66, kBackground, 0));
  EXPECT_TRUE(frame.Region(0, 284, kFrameWidth, kFrameHeight, kBackground, 0));
  EXPECT_TRUE(frame.Region(0, 66, 116, 284, kBackground, 0));
  EXPECT_TRUE(frame.Region(684, 66, kFrameWidth, 284, kBackground, 0));
}
