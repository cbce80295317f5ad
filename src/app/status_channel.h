#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

// Everything the main thread and the launch worker share. No lock guards any
// of it; the ordering comes from the thread start, the posted messages and the
// final join:
// - gSplashWindow, gGameSlug: written by the main thread before the worker
//   starts, never again; read by the worker.
// - gProgress: written only by the worker (atomic exchange, each write followed
//   by a WM_SPLASH_REFRESH post), read by the main thread once per paint.
//   Negative: no installation under way; 0..1000 thousandths of the archive;
//   above 1000 when more than the announced length arrived.
// - gPendingError: written by the worker at most once, before it posts
//   WM_SPLASH_DONE; read by the main thread on WM_SPLASH_DONE and after the join.
extern HWND gSplashWindow;
extern std::wstring gGameSlug;
extern std::atomic<int32_t> gProgress;
extern std::wstring gPendingError;

// Posted by the worker as its last act: close the splash, showing gPendingError first.
inline constexpr UINT WM_SPLASH_DONE = WM_APP + 1;
// Posted after each progress write: repaint the whole splash without erasing.
inline constexpr UINT WM_SPLASH_REFRESH = WM_APP + 2;

// Posts `message` (no parameters) to gSplashWindow; nothing when there is no
// splash window. Any thread.
void PostToSplash(UINT message);

// Stores a progress value and asks the splash window to repaint. Worker thread.
void PublishProgress(int32_t thousandths);
