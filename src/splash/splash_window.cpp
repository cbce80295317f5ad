#include "splash/splash_window.h"

#include "app/status_channel.h"
#include "app/user_messages.h"
#include "splash/compose_frame.h"
#include "splash/splash_images.h"

const wchar_t* SplashWindowTitle(const std::wstring& displayName) {
  return displayName.empty() ? L"Nolm Launcher" : displayName.c_str();
}

void PaintSplash(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  // One reading serves both the "is there a bar" test and its width.
  const int32_t progress = gProgress.load();
  std::unique_ptr<Gdiplus::Bitmap> frame = ComposeSplashFrame(gSplashImage, gTitleImage, progress);
  if (frame) {
    Gdiplus::Graphics screen(dc);
    screen.DrawImage(frame.get(), 0, 0);
  }
  EndPaint(window, &paint);
}

static void OnSplashDone(HWND window) {
  if (!gPendingError.empty()) {
    // Hidden first, so the box is never shown over a splash that looks alive.
    ShowWindow(window, SW_HIDE);
    ShowErrorBox(gPendingError.c_str());
  }
  DestroyWindow(window);
}

LRESULT CALLBACK SplashWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      PaintSplash(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // every paint covers the whole area; erasing would only flash
    case WM_SPLASH_DONE:
      OnSplashDone(window);
      return 0;
    case WM_SPLASH_REFRESH:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
