#include "check/game/preview_frames.h"

#include <windows.h>

#include <memory>

#include "check/console_output.h"
#include "check/file_bytes.h"
#include "check/game/png_file.h"
#include "check/wide_to_utf8.h"
#include "splash/compose_frame.h"
#include "splash/splash_images.h"

namespace {

constexpr wchar_t kFirstFrameFile[] = L"\\first-frame.png";
constexpr wchar_t kInstallingFile[] = L"\\installing.png";

// Creates each missing level of `folder`. Levels that cannot be created
// (a drive, a server's name) are passed over; the last one decides.
bool MakeFolders(const std::wstring& folder) {
  for (size_t at = 1; at < folder.size(); ++at) {
    if (folder[at] == L'\\' || folder[at] == L'/') {
      CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  return IsFolderPresent(folder);
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) return path;
  full.resize(written);
  return full;
}

void RemovePreviewFrames(const std::wstring& outFolder) {
  DeleteFileW((outFolder + kFirstFrameFile).c_str());
  DeleteFileW((outFolder + kInstallingFile).c_str());
}

// Composes one frame as the splash window paints it and saves it.
bool WriteFrame(int32_t progress, const std::wstring& path, std::string& error) {
  const std::unique_ptr<Gdiplus::Bitmap> frame =
      ComposeSplashFrame(gSplashImage, gTitleImage, progress);
  if (!frame) {
    error = "GDI+ could not make a frame";
    return false;
  }
  return SavePngFile(*frame, path, error);
}

}  // namespace

PreviewFiles WritePreviewFrames(const std::wstring& outFolder, const std::wstring& nolmFolder) {
  PreviewFiles files;
  if (!MakeFolders(outFolder)) {
    files.error = "cannot create the folder " + WideToUtf8(outFolder);
    return files;
  }
  files.firstFrame = FullPath(outFolder + kFirstFrameFile);
  files.installing = FullPath(outFolder + kInstallingFile);

  // The shortcut's own loading into its own image slots, released as it
  // releases them; no window exists in this process to paint from them.
  LoadSplashImages(nolmFolder);
  std::string error;
  // Before an installation begins the progress value is -1: no bar.
  if (!WriteFrame(-1, files.firstFrame, error)) {
    files.error = "cannot write " + WideToUtf8(files.firstFrame) + ": " + error;
  } else if (!WriteFrame(kPreviewProgress, files.installing, error)) {
    files.error = "cannot write " + WideToUtf8(files.installing) + ": " + error;
  } else {
    files.written = true;
  }
  DeleteSplashImages();
  // A picture left from an earlier run beside no partner would mislead.
  if (!files.written) RemovePreviewFrames(outFolder);
  return files;
}

bool AddPreview(const std::wstring& outFolder, const std::wstring& nolmFolder,
                CheckReport& report) {
  report.preview.asked = true;
  if (!report.valid) {
    RemovePreviewFrames(outFolder);
    return true;
  }
  const PreviewFiles files = WritePreviewFrames(outFolder, nolmFolder);
  if (!files.written) {
    WriteStd(STD_ERROR_HANDLE, "nolm-check: " + files.error + "\n");
    return false;
  }
  report.preview.written = true;
  report.preview.firstFrame = WideToUtf8(files.firstFrame);
  report.preview.installing = WideToUtf8(files.installing);
  return true;
}
