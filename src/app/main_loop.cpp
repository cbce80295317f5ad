#include "app/main_loop.h"

#include <thread>

#include "app/launch_worker.h"
#include "app/status_channel.h"
#include "splash/gdiplus_include.h"
#include "splash/placement.h"
#include "splash/splash_images.h"
#include "splash/splash_window.h"

namespace {

HWND CreateSplashWindow(HINSTANCE instance, const std::wstring& displayName) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = SplashWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_APPSTARTING);
  windowClass.lpszClassName = kSplashClassName;
  RegisterClassW(&windowClass);

  const WindowOrigin origin = CenteredOrigin(
      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), kFrameWidth, kFrameHeight);
  return CreateWindowExW(
      /* dwExStyle */ 0,
      /* lpClassName */ kSplashClassName,
      /* lpWindowName */ SplashWindowTitle(displayName),
      /* dwStyle */ WS_POPUP,
      /* X */ origin.x,
      /* Y */ origin.y,
      /* nWidth */ kFrameWidth,
      /* nHeight */ kFrameHeight,
      /* hWndParent */ nullptr,
      /* hMenu */ nullptr,
      /* hInstance */ instance,
      /* lpParam */ nullptr);
}

}  // namespace

int RunMainLoop(HINSTANCE instance, const std::wstring& nolmFolder, const std::wstring& displayName,
                ULONG_PTR gdiplusToken) {
  LoadSplashImages(nolmFolder);
  gSplashWindow = CreateSplashWindow(instance, displayName);
  ShowWindow(gSplashWindow, SW_SHOW);
  UpdateWindow(gSplashWindow);

  // Started only now: the thread start publishes gSplashWindow and gGameSlug.
  std::thread worker(LaunchWorker);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  worker.join();

  DeleteSplashImages();
  Gdiplus::GdiplusShutdown(gdiplusToken);
  return gPendingError.empty() ? 0 : 1;
}
