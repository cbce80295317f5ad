#include "check/game/png_file.h"

#include <cwchar>
#include <vector>

namespace {

bool FindEncoder(const wchar_t* mimeType, CLSID& encoder) {
  UINT count = 0;
  UINT bytes = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  // The codec records come first, then the strings they point to, in one block.
  std::vector<Gdiplus::ImageCodecInfo> block(bytes / sizeof(Gdiplus::ImageCodecInfo) + 1);
  if (Gdiplus::GetImageEncoders(count, bytes, block.data()) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (block[i].MimeType != nullptr && std::wcscmp(block[i].MimeType, mimeType) == 0) {
      encoder = block[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

bool SavePngFile(Gdiplus::Image& image, const std::wstring& path, std::string& error) {
  CLSID png = {};
  if (!FindEncoder(L"image/png", png)) {
    error = "the platform has no PNG encoder";
    return false;
  }
  const Gdiplus::Status status = image.Save(path.c_str(), &png, nullptr);
  if (status == Gdiplus::Ok) return true;
  DeleteFileW(path.c_str());
  error = status == Gdiplus::Win32Error ? "the file cannot be created or written"
          : status == Gdiplus::OutOfMemory
              ? "not enough memory"
              : "the PNG encoder failed (GDI+ status " + std::to_string(status) + ")";
  return false;
}
