#pragma once

#include <windows.h>

inline constexpr wchar_t kSplashClassName[] = L"NolmShortcutSplash";

// Window procedure of the splash window. Main thread.
LRESULT CALLBACK SplashWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Composes a whole frame from the artwork and the current progress and copies
// it to the window in one step.
void PaintSplash(HWND window);
