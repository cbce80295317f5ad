#include "splash/compose_frame.h"

#include "splash/gdiplus_new.h"
#include "splash/placement.h"
#include "splash/splash_images.h"

namespace {

const Gdiplus::ARGB kBackground = 0xFF101014;
const Gdiplus::ARGB kWhite = 0xFFFFFFFF;
const Gdiplus::ARGB kTrack = 0x78000000;
constexpr int kBarTop = 344;
constexpr int kBarHeight = 6;

// The whole image, drawn unrounded into the rectangle `place` gives for its size.
void DrawImageAt(Gdiplus::Graphics& graphics, Gdiplus::Image* image,
                 ImagePlacement (*place)(float, float)) {
  const ImagePlacement at =
      place(static_cast<float>(image->GetWidth()), static_cast<float>(image->GetHeight()));
  graphics.DrawImage(image, Gdiplus::RectF(at.x, at.y, at.width, at.height));
}

void DrawPlaceholderText(Gdiplus::Graphics& graphics) {
  graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
  const std::unique_ptr<Gdiplus::Font> font = MakePlaceholderFont();
  const Gdiplus::SolidBrush brush{Gdiplus::Color(kWhite)};
  Gdiplus::StringFormat format(0, LANG_NEUTRAL);
  format.SetAlignment(Gdiplus::StringAlignmentCenter);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  const Gdiplus::RectF layout(0.0f, 0.0f, static_cast<float>(kFrameWidth),
                              static_cast<float>(kFrameHeight));
  // Without a font nothing is drawn; the rest of the frame still is.
  if (font) graphics.DrawString(L"Nolm Launcher", -1, font.get(), layout, &format, &brush);
}

void DrawProgressBar(Gdiplus::Graphics& graphics, int32_t progress) {
  Gdiplus::SolidBrush track{Gdiplus::Color(kTrack)};
  Gdiplus::SolidBrush fill{Gdiplus::Color(kWhite)};
  graphics.FillRectangle(&track, 0, kBarTop, kFrameWidth, kBarHeight);
  graphics.FillRectangle(&fill, 0, kBarTop, ProgressFillWidth(progress), kBarHeight);
}

}  // namespace

void DrawSplashFrame(Gdiplus::Graphics& graphics, Gdiplus::Image* splash, Gdiplus::Image* title,
                     int32_t progress) {
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
  graphics.Clear(Gdiplus::Color(kBackground));
  if (splash) DrawImageAt(graphics, splash, PlaceSplashImage);
  if (title) DrawImageAt(graphics, title, PlaceTitleImage);
  if (!splash && !title) DrawPlaceholderText(graphics);
  if (progress >= 0) DrawProgressBar(graphics, progress);
}

std::unique_ptr<Gdiplus::Bitmap> ComposeSplashFrame(Gdiplus::Image* splash, Gdiplus::Image* title,
                                                    int32_t progress) {
  std::unique_ptr<Gdiplus::Bitmap> frame(
      NewGdiplusObject<Gdiplus::Bitmap>(kFrameWidth, kFrameHeight, PixelFormat32bppARGB));
  if (!frame || frame->GetLastStatus() != Gdiplus::Ok) return nullptr;
  {
    Gdiplus::Graphics graphics(frame.get());
    DrawSplashFrame(graphics, splash, title, progress);
  }
  return frame;
}
