#pragma once

#include <memory>
#include <string>

#include "splash/gdiplus_include.h"

// Loads the image at `path`, or returns null when the path is missing, is a
// directory, or does not decode. The caller deletes the result while GDI+ runs.
Gdiplus::Bitmap* LoadImageIfExists(const std::wstring& path);

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
