#include "check/artwork_check.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <memory>

#include "check/wide_to_utf8.h"
#include "splash/placement.h"
#include "splash/splash_images.h"

namespace {

// Deleting a GDI+ wrapper object disposes of its image and frees its storage.
using OwnedBitmap = std::unique_ptr<Gdiplus::Bitmap>;

bool IsThere(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// "nolm/splash.png" from the piece L"/splash.png".
std::string Shown(const wchar_t* file) {
  return "nolm" + WideToUtf8(file);
}

ArtworkReport Describe(Gdiplus::Bitmap* image, const wchar_t* file,
                       ImagePlacement (*place)(float, float)) {
  ArtworkReport artwork;
  if (image == nullptr) return artwork;
  artwork.drawn = true;
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

// True when any pixel is less than fully opaque, whatever the file's pixel
// format: an indexed PNG carries its transparency in the palette, not in an
// alpha format. True also when the pixels cannot be read, so that no false
// warning is given.
bool HasTransparentPixel(Gdiplus::Bitmap& image) {
  const Gdiplus::Rect all(0, 0, static_cast<INT>(image.GetWidth()),
                          static_cast<INT>(image.GetHeight()));
  Gdiplus::BitmapData pixels = {};
  if (image.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &pixels) !=
      Gdiplus::Ok) {
    return true;
  }
  bool transparent = false;
  for (UINT y = 0; y < pixels.Height && !transparent; ++y) {
    const auto* row =
        static_cast<const unsigned char*>(pixels.Scan0) + static_cast<ptrdiff_t>(y) * pixels.Stride;
    for (UINT x = 0; x < pixels.Width && !transparent; ++x) transparent = row[x * 4 + 3] < 255;
  }
  image.UnlockBits(&pixels);
  return transparent;
}

}  // namespace

void CheckArtwork(const std::wstring& nolmFolder, CheckReport& report) {
  const SplashArtwork splash = LoadSplashArtwork(nolmFolder);
  const OwnedBitmap splashImage(splash.image);
  const OwnedBitmap titleImage(LoadImageIfExists(nolmFolder + kTitlePngFile));

  if (splash.file != kSplashPngFile && IsThere(nolmFolder + kSplashPngFile)) {
    const std::string instead =
        splash.image ? "silently uses nolm/splash.jpg instead" : "shows no splash artwork";
    report.warnings.push_back({"artwork-undecodable", Shown(kSplashPngFile) +
                                                          " is there but does not load as an "
                                                          "image; the shortcut " +
                                                          instead});
  }
  // splash.jpg is opened only when splash.png gave nothing.
  if (!splash.image && IsThere(nolmFolder + kSplashJpgFile)) {
    report.warnings.push_back(
        {"artwork-undecodable", Shown(kSplashJpgFile) + " is there but does not load as an image; "
                                                        "the shortcut shows no splash artwork"});
  }
  if (!titleImage && IsThere(nolmFolder + kTitlePngFile)) {
    report.warnings.push_back(
        {"artwork-undecodable", Shown(kTitlePngFile) + " is there but does not load as an image; "
                                                       "the shortcut draws no title"});
  }

  report.splash = Describe(splashImage.get(), splash.file, PlaceSplashImage);
  report.titleImage = Describe(titleImage.get(), kTitlePngFile, PlaceTitleImage);
  WarnIfEnlarged(report.splash, "cover 800x350", report);
  WarnIfEnlarged(report.titleImage, "fit 560x210", report);

  if (splashImage && titleImage && !HasTransparentPixel(*titleImage)) {
    report.warnings.push_back({"title-opaque",
                               "nolm/title.png has no transparent pixel, so it hides the splash "
                               "artwork behind a solid rectangle: save it with an alpha channel"});
  }
}
