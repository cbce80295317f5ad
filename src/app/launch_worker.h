#pragma once

#include <windows.h>

#include <string>

// `"<launcherExe>"`, then ` --game=<slug>` only when `slug` is not empty.
std::wstring LauncherCommandLine(const std::wstring& launcherExe, const std::wstring& slug);

struct WindowSearch {
  DWORD processId = 0;
  bool found = false;
};

// EnumWindows callback: sets `found` and stops at the first visible top-level
// window of `processId`. `lParam` points to a WindowSearch.
BOOL CALLBACK FindProcessWindow(HWND window, LPARAM lParam);

// Waits, up to 100 passes of 100 ms, until `process` shows a visible
// top-level window or ends. Looks before every wait, so a window that is
// already up costs no wait at all.
void WaitForProcessWindow(HANDLE process, DWORD processId);

// The worker thread's body: installs the launcher when launcher.exe or
// launcher.pck is missing, or when the temp\install.incomplete marker says an
// earlier installation never finished (holding the per-user installation
// mutex around the presence test and the installation, so a second copy of
// the program waits and then finds it installed), starts it with the game
// slug, waits for its window, then posts WM_SPLASH_DONE exactly once, after
// any gPendingError write. Also runs on the main thread when no second thread
// can be had.
void LaunchWorker();
