#include "splash/splash_images.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

using testing_support::TempFolder;
using testing_support::WriteBytes;
namespace fs = std::filesystem;

namespace {

using Gdiplus::ARGB;

// Colours far apart in every channel, so that a JPEG's small errors never
// make one look like the other.
constexpr ARGB kRed = 0xFFE01010;
constexpr ARGB kBlue = 0xFF1010E0;
constexpr ARGB kGreen = 0xFF10E010;

CLSID EncoderFor(const wchar_t* mimeType) {
  UINT count = 0, bytes = 0;
  Gdiplus::GetImageEncodersSize(&count, &bytes);
  std::vector<unsigned char> storage(bytes);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(storage.data());
  Gdiplus::GetImageEncoders(count, bytes, encoders);
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(encoders[i].MimeType) == mimeType) return encoders[i].Clsid;
  }
  ADD_FAILURE() << "no encoder for the test images";
  return CLSID{};
}

// Writes a flat-coloured image of the given size with the encoder of `mimeType`.
void SaveImage(const fs::path& path, int width, int height, ARGB colour, const wchar_t* mimeType) {
  Gdiplus::Bitmap image(width, height, PixelFormat32bppARGB);
  {
    Gdiplus::Graphics graphics(&image);
    graphics.Clear(Gdiplus::Color(colour));
  }
  const CLSID encoder = EncoderFor(mimeType);
  ASSERT_EQ(image.Save(path.wstring().c_str(), &encoder, nullptr), Gdiplus::Ok) << path;
}

void SavePng(const fs::path& path, int width, int height, ARGB colour) {
  SaveImage(path, width, height, colour, L"image/png");
}

void SaveJpeg(const fs::path& path, int width, int height, ARGB colour) {
  SaveImage(path, width, height, colour, L"image/jpeg");
}

// The image is there, of the given size, and its centre has about `colour`.
::testing::AssertionResult IsImage(Gdiplus::Bitmap* image, UINT width, UINT height, ARGB colour) {
  if (image == nullptr) return ::testing::AssertionFailure() << "no image";
  if (image->GetWidth() != width || image->GetHeight() != height) {
    return ::testing::AssertionFailure()
           << "size " << image->GetWidth() << "x" << image->GetHeight();
  }
  Gdiplus::Color centre;
  image->GetPixel(static_cast<INT>(width / 2), static_cast<INT>(height / 2), &centre);
  for (int shift = 0; shift < 32; shift += 8) {
    const int actual = static_cast<int>((centre.GetValue() >> shift) & 0xFF);
    const int expected = static_cast<int>((colour >> shift) & 0xFF);
    if (actual - expected > 12 || expected - actual > 12) {
      return ::testing::AssertionFailure() << std::hex << "colour 0x" << centre.GetValue();
    }
  }
  return ::testing::AssertionSuccess();
}

// The loader fills process-wide slots: every test leaves them empty.
class SplashImagesTest : public ::testing::Test {
 protected:
  void TearDown() override { DeleteSplashImages(); }
  std::wstring Folder() const { return folder_.path().wstring(); }
  fs::path At(const char* name) const { return folder_.path() / name; }

 private:
  TempFolder folder_;
};

}  // namespace

TEST_F(SplashImagesTest, LoadImageIfExistsGivesNothingForMissingDirectoryOrUndecodable) {
  fs::create_directory(At("folder.png"));
  WriteBytes(At("text.png"), "this is not an image\n");
  for (const char* name : {"missing.png", "folder.png", "text.png"}) {
    std::unique_ptr<Gdiplus::Bitmap> image(LoadImageIfExists(At(name).wstring()));
    EXPECT_EQ(image, nullptr) << name;
  }
}

TEST_F(SplashImagesTest, LoadImageIfExistsDecodesByContentNotByName) {
  SaveJpeg(At("really-a-jpeg.png"), 64, 48, kGreen);
  SavePng(At("real.png"), 30, 20, kRed);
  std::unique_ptr<Gdiplus::Bitmap> jpeg(LoadImageIfExists(At("really-a-jpeg.png").wstring()));
  EXPECT_TRUE(IsImage(jpeg.get(), 64, 48, kGreen));
  std::unique_ptr<Gdiplus::Bitmap> png(LoadImageIfExists(At("real.png").wstring()));
  EXPECT_TRUE(IsImage(png.get(), 30, 20, kRed));
}

TEST_F(SplashImagesTest, PngSplashIsPreferredOverJpeg) {
  SavePng(At("splash.png"), 40, 30, kRed);
  SaveJpeg(At("splash.jpg"), 64, 48, kBlue);
  LoadSplashImages(Folder());
  EXPECT_TRUE(IsImage(gSplashImage, 40, 30, kRed));
  EXPECT_EQ(gTitleImage, nullptr);
}

TEST_F(SplashImagesTest, UnusableSplashPngFallsBackToJpeg) {
  SaveJpeg(At("splash.jpg"), 64, 48, kBlue);
  {
    SCOPED_TRACE("splash.png holds text");
    WriteBytes(At("splash.png"), "not a PNG at all\n");
    LoadSplashImages(Folder());
    EXPECT_TRUE(IsImage(gSplashImage, 64, 48, kBlue));
    DeleteSplashImages();
  }
  {
    SCOPED_TRACE("splash.png is a directory");
    fs::remove(At("splash.png"));
    fs::create_directory(At("splash.png"));
    LoadSplashImages(Folder());
    EXPECT_TRUE(IsImage(gSplashImage, 64, 48, kBlue));
  }
}

TEST_F(SplashImagesTest, TitleIsLoadedWithOrWithoutSplash) {
  SavePng(At("title.png"), 50, 20, kGreen);
  LoadSplashImages(Folder());
  EXPECT_EQ(gSplashImage, nullptr);
  EXPECT_TRUE(IsImage(gTitleImage, 50, 20, kGreen));
  DeleteSplashImages();

  SavePng(At("splash.png"), 40, 30, kRed);
  LoadSplashImages(Folder());
  EXPECT_TRUE(IsImage(gSplashImage, 40, 30, kRed));
  EXPECT_TRUE(IsImage(gTitleImage, 50, 20, kGreen));
}

TEST_F(SplashImagesTest, MissingFolderLoadsNothing) {
  LoadSplashImages(Folder() + L"/no such folder");
  EXPECT_EQ(gSplashImage, nullptr);
  EXPECT_EQ(gTitleImage, nullptr);
}

TEST_F(SplashImagesTest, DeleteEmptiesBothSlots) {
  SaveJpeg(At("splash.jpg"), 64, 48, kBlue);
  SavePng(At("title.png"), 50, 20, kGreen);
  LoadSplashImages(Folder());
  ASSERT_NE(gSplashImage, nullptr);
  ASSERT_NE(gTitleImage, nullptr);
  DeleteSplashImages();
  EXPECT_EQ(gSplashImage, nullptr);
  EXPECT_EQ(gTitleImage, nullptr);
}

TEST(PlaceholderFont, FallsBackTo30PixelBoldSansSerifEveryTime) {
  // The test prefix has Tahoma but no "Segoe UI", so the generic family is
  // what makes the font; the second call reuses the family kept by the first.
  for (int call = 1; call <= 2; ++call) {
    SCOPED_TRACE("call " + std::to_string(call));
    const std::unique_ptr<Gdiplus::Font> font = MakePlaceholderFont();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->GetSize(), 30.0f);
    EXPECT_EQ(font->GetStyle(), Gdiplus::FontStyleBold);
    EXPECT_EQ(font->GetUnit(), Gdiplus::UnitPixel);
    Gdiplus::FontFamily family;
    ASSERT_EQ(font->GetFamily(&family), Gdiplus::Ok);
    wchar_t name[LF_FACESIZE] = {};
    family.GetFamilyName(name);
    EXPECT_STRNE(name, L"") << "a font without a family";
  }
}
