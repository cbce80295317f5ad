#include "app/status_channel.h"

HWND gSplashWindow = nullptr;
std::wstring gGameSlug;
std::atomic<int32_t> gProgress{-1};
std::wstring gPendingError;

void PublishProgress(int32_t thousandths) {
  gProgress.exchange(thousandths);
  PostMessageW(gSplashWindow, WM_SPLASH_REFRESH, 0, 0);
}
