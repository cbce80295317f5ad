#include "app/main_loop.h"

#include <system_error>
#include <thread>

#include "app/launch_worker.h"
#include "app/status_channel.h"
#include "app/user_messages.h"
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

void PumpMessagesUntilQuit() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// The worker beside the shown splash, which it closes when done.
void RunWorkerWithSplash() {
  // Started only now: the thread start publishes gSplashWindow and gGameSlug.
  std::thread worker;
  try {
    worker = std::thread(LaunchWorker);
  } catch (const std::system_error&) {
    // No second thread to be had: the work runs here instead. The splash does
    // not repaint meanwhile, but its WM_SPLASH_DONE is queued when the loop
    // starts, so the outcome is shown and the window closed as usual.
    LaunchWorker();
  }
  PumpMessagesUntilQuit();
  if (worker.joinable()) worker.join();
}

// Without a window no message would ever end the loop, so the work runs here
// and its failure, if any, is told directly.
void RunWorkerWithoutSplash() {
  LaunchWorker();
  if (!gPendingError.empty()) ShowErrorBox(gPendingError.c_str());
}

}  // namespace

int RunMainLoop(HINSTANCE instance, const std::wstring& nolmFolder, const std::wstring& displayName,
                ULONG_PTR gdiplusToken) {
  LoadSplashImages(nolmFolder);
  gSplashWindow = CreateSplashWindow(instance, displayName);
  if (gSplashWindow != nullptr) {
    ShowWindow(gSplashWindow, SW_SHOW);
    UpdateWindow(gSplashWindow);
    RunWorkerWithSplash();
  } else {
    RunWorkerWithoutSplash();
  }

  DeleteSplashImages();
  Gdiplus::GdiplusShutdown(gdiplusToken);
  return gPendingError.empty() ? 0 : 1;
}
