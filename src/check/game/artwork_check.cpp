#include "check/game/artwork_check.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <memory>

#include "check/wide_to_utf8.h"
#include "install/install_paths.h"
#include "splash/placement.h"
#include "splash/splash_images.h"

namespace {

// Deleting a GDI+ wrapper object disposes of its image and frees its storage.
using OwnedBitmap = std::unique_ptr<Gdiplus::Bitmap>;

// "nolm/splash.png" from the piece L"/splash.png".
std::string Shown(const wchar_t* file) {
  return "nolm" + WideToUtf8(file);
}

// What reading all of an image's pixels tells.
struct PixelScan {
  bool decoded = false;      // the pixels could be read, so the image draws
  bool transparent = false;  // some pixel is less than fully opaque
};

// Reads every pixel once, as 32-bit ARGB whatever the file's format (an
// indexed PNG carries its transparency in the palette, not in an alpha
// format), in bands of rows, so that a large image costs little memory beyond
// its own. Where the platform decodes an image only when it is first drawn, a
// damaged or oversized file loads and then fails here, as its drawing would.
PixelScan ScanPixels(Gdiplus::Bitmap& image) {
  constexpr UINT kBandRows = 64;
  const UINT width = image.GetWidth();
  const UINT height = image.GetHeight();
  PixelScan scan;
  scan.decoded = width > 0 && height > 0;
  for (UINT top = 0; top < height && scan.decoded; top += kBandRows) {
    const UINT rows = height - top < kBandRows ? height - top : kBandRows;
    const Gdiplus::Rect band(0, static_cast<INT>(top), static_cast<INT>(width),
                             static_cast<INT>(rows));
    Gdiplus::BitmapData pixels = {};
    if (image.LockBits(&band, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &pixels) !=
        Gdiplus::Ok) {
      scan.decoded = false;
      break;
    }
    for (UINT y = 0; y < pixels.Height && !scan.transparent; ++y) {
      const auto* row = static_cast<const unsigned char*>(pixels.Scan0) +
                        static_cast<ptrdiff_t>(y) * pixels.Stride;
      for (UINT x = 0; x < pixels.Width && !scan.transparent; ++x) {
        scan.transparent = row[x * 4 + 3] < 255;
      }
    }
    image.UnlockBits(&pixels);
  }
  return scan;
}

ArtworkReport Describe(Gdiplus::Bitmap* image, const PixelScan& scan, const wchar_t* file,
                       ImagePlacement (*place)(float, float)) {
  ArtworkReport artwork;
  if (image == nullptr) return artwork;
  artwork.loaded = true;
  artwork.drawn = scan.decoded;
  artwork.file = WideToUtf8(file + 1);
  artwork.width = image->GetWidth();
  artwork.height = image->GetHeight();
  artwork.at = place(static_cast<float>(artwork.width), static_cast<float>(artwork.height));
  return artwork;
}

void WarnIfEnlarged(const ArtworkReport& artwork, const char* target, CheckReport& report) {
  if (!artwork.drawn) return;
  const float scale = artwork.at.width / static_cast<float>(artwork.width);
  if (scale <= kUpscaleWarningFactor) return;
  char factor[16];
  std::snprintf(factor, sizeof factor, "%.1f", static_cast<double>(scale));
  report.warnings.push_back(
      {"artwork-upscaled", "nolm/" + artwork.file + " is " + std::to_string(artwork.width) + "x" +
                               std::to_string(artwork.height) + " pixels and is enlarged " +
                               factor + " times to " + target + ", so it looks blurred"});
}

// An image that loads but does not decode is still the shortcut's image:
// it draws nothing in its place, and no placeholder or splash.jpg replaces it.
void WarnIfUndecoded(const ArtworkReport& artwork, const wchar_t* file, const std::string& instead,
                     CheckReport& report) {
  if (!artwork.loaded || artwork.drawn) return;
  report.warnings.push_back(
      {"artwork-undecodable", Shown(file) + " loads, but its pixels do not decode, so the " +
                                  "shortcut draws nothing in its place: the player sees " +
                                  instead});
}

}  // namespace

void CheckArtwork(const std::wstring& nolmFolder, CheckReport& report) {
  const SplashArtwork splash = LoadSplashArtwork(nolmFolder);
  const OwnedBitmap splashImage(splash.image);
  const OwnedBitmap titleImage(LoadImageIfExists(nolmFolder + kTitlePngFile));

  if (splash.file != kSplashPngFile && IsEntryPresent(nolmFolder + kSplashPngFile)) {
    const std::string instead =
        splash.image ? "silently uses nolm/splash.jpg instead" : "shows no splash artwork";
    report.warnings.push_back({"artwork-undecodable", Shown(kSplashPngFile) +
                                                          " is there but does not load as an "
                                                          "image; the shortcut " +
                                                          instead});
  }
  // splash.jpg is opened only when splash.png gave nothing.
  if (!splash.image && IsEntryPresent(nolmFolder + kSplashJpgFile)) {
    report.warnings.push_back(
        {"artwork-undecodable", Shown(kSplashJpgFile) + " is there but does not load as an image; "
                                                        "the shortcut shows no splash artwork"});
  }
  if (!titleImage && IsEntryPresent(nolmFolder + kTitlePngFile)) {
    report.warnings.push_back(
        {"artwork-undecodable", Shown(kTitlePngFile) + " is there but does not load as an image; "
                                                       "the shortcut draws no title"});
  }

  // Drawn means decoded: every pixel is read once, which also serves the
  // title's transparency test.
  const PixelScan splashPixels = splashImage ? ScanPixels(*splashImage) : PixelScan{};
  const PixelScan titlePixels = titleImage ? ScanPixels(*titleImage) : PixelScan{};
  report.splash = Describe(splashImage.get(), splashPixels, splash.file, PlaceSplashImage);
  report.titleImage = Describe(titleImage.get(), titlePixels, kTitlePngFile, PlaceTitleImage);
  WarnIfUndecoded(report.splash, splash.file,
                  report.titleImage.drawn ? "the title over the background colour"
                                          : "the background colour alone",
                  report);
  WarnIfUndecoded(
      report.titleImage, kTitlePngFile,
      report.splash.drawn ? "the splash without a title" : "the background colour alone", report);
  WarnIfEnlarged(report.splash, "cover 800x350", report);
  WarnIfEnlarged(report.titleImage, "fit 560x210", report);

  if (report.splash.drawn && report.titleImage.drawn && !titlePixels.transparent) {
    report.warnings.push_back({"title-opaque",
                               "nolm/title.png has no transparent pixel, so it hides the splash "
                               "artwork behind a solid rectangle: save it with an alpha channel"});
  }
}
