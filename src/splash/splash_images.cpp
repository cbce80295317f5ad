#include "splash/splash_images.h"

#include "splash/gdiplus_new.h"

Gdiplus::Bitmap* gSplashImage = nullptr;
Gdiplus::Bitmap* gTitleImage = nullptr;

Gdiplus::Bitmap* LoadImageIfExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return nullptr;
  }
  auto* image = NewGdiplusObject<Gdiplus::Bitmap>(path.c_str(), FALSE);
  if (image == nullptr) return nullptr;
  if (image->GetLastStatus() != Gdiplus::Ok) {
    delete image;  // disposes of the native image, then frees the storage
    return nullptr;
  }
  return image;
}

SplashArtwork LoadSplashArtwork(const std::wstring& nolmFolder) {
  // The JPEG is never opened when the PNG loads, so a stale splash.jpg left
  // beside a good splash.png costs nothing.
  for (const wchar_t* file : {kSplashPngFile, kSplashJpgFile}) {
    if (Gdiplus::Bitmap* image = LoadImageIfExists(nolmFolder + file)) return {image, file};
  }
  return {};
}

void LoadSplashImages(const std::wstring& nolmFolder) {
  gSplashImage = LoadSplashArtwork(nolmFolder).image;
  gTitleImage = LoadImageIfExists(nolmFolder + kTitlePngFile);
}

void DeleteSplashImages() {
  delete gSplashImage;
  gSplashImage = nullptr;
  delete gTitleImage;
  gTitleImage = nullptr;
}

namespace {

// The generic family is asked for once; its answer, failure included, is kept
// for the whole process and never deleted.
const Gdiplus::FontFamily* GenericSansSerif() {
  static const Gdiplus::FontFamily* const family = Gdiplus::FontFamily::GenericSansSerif();
  return family;
}

std::unique_ptr<Gdiplus::Font> MakeFont(const Gdiplus::FontFamily* family) {
  std::unique_ptr<Gdiplus::Font> font(
      NewGdiplusObject<Gdiplus::Font>(family, 30.0f, Gdiplus::FontStyleBold, Gdiplus::UnitPixel));
  if (font && font->GetLastStatus() != Gdiplus::Ok) font.reset();
  return font;
}

}  // namespace

std::unique_ptr<Gdiplus::Font> MakePlaceholderFont() {
  const Gdiplus::FontFamily named(L"Segoe UI");
  const bool haveNamed = named.GetLastStatus() == Gdiplus::Ok;
  const Gdiplus::FontFamily* family = haveNamed ? &named : GenericSansSerif();
  if (family == nullptr) return nullptr;
  std::unique_ptr<Gdiplus::Font> font = MakeFont(family);
  if (!font && GenericSansSerif()) font = MakeFont(GenericSansSerif());
  return font;  // the named family is released here; the generic one never is
}
