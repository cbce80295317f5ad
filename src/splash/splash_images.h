#pragma once

#include <memory>
#include <string>

#include "splash/gdiplus_include.h"

// Loads the image at `path`, or returns null when the path is missing, is a
// directory, or does not decode. The caller deletes the result while GDI+ runs.
Gdiplus::Bitmap* LoadImageIfExists(const std::wstring& path);

// Artwork files, appended to the nolm folder as they stand.
inline constexpr wchar_t kSplashPngFile[] = L"/splash.png";
inline constexpr wchar_t kSplashJpgFile[] = L"/splash.jpg";
inline constexpr wchar_t kTitlePngFile[] = L"/title.png";

struct SplashArtwork {
  Gdiplus::Bitmap* image = nullptr;  // the caller deletes it while GDI+ runs
  const wchar_t* file = nullptr;     // kSplashPngFile or kSplashJpgFile; null with no image
};

// Loads the splash image from splash.png, and only when that gives none, from
// splash.jpg; says which of the two it came from. Both null when neither loads.
SplashArtwork LoadSplashArtwork(const std::wstring& nolmFolder);

// The artwork, owned here: written on the main thread before the splash
// window exists, read by every paint, deleted after the worker was joined.
extern Gdiplus::Bitmap* gSplashImage;
extern Gdiplus::Bitmap* gTitleImage;

// Loads splash.png (else splash.jpg) and title.png from `nolmFolder`.
void LoadSplashImages(const std::wstring& nolmFolder);

// Deletes both images, splash first. Must run before GdiplusShutdown.
void DeleteSplashImages();

// The placeholder font, 30 px bold: "Segoe UI", else the generic sans-serif
// family. Null when neither can make a font. Main thread only.
std::unique_ptr<Gdiplus::Font> MakePlaceholderFont();
