#pragma once

#include <windows.h>

#include <string>

inline constexpr wchar_t kSplashClassName[] = L"NolmShortcutSplash";

// The splash window's title: `displayName`, or "Nolm Launcher" when it is
// empty. The result points into `displayName` (or a literal), so it lives as
// long as that string is unchanged.
const wchar_t* SplashWindowTitle(const std::wstring& displayName);

// Window procedure of the splash window. Main thread.
LRESULT CALLBACK SplashWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Composes a whole frame from the artwork and the current progress and copies
// it to the window in one step.
void PaintSplash(HWND window);
