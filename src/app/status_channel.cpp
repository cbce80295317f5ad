#include "app/status_channel.h"

HWND gSplashWindow = nullptr;
std::wstring gGameSlug;
std::atomic<int32_t> gProgress{-1};
std::wstring gPendingError;

void PostToSplash(UINT message) {
  // A null window would make the post a thread message of the caller's own
  // queue, where nothing reads it.
  if (gSplashWindow != nullptr) PostMessageW(gSplashWindow, message, 0, 0);
}

void PublishProgress(int32_t thousandths) {
  gProgress.exchange(thousandths);
  PostToSplash(WM_SPLASH_REFRESH);
}
