#pragma once

#include <windows.h>

#include <string>

// Shows the splash window, runs the launch worker and pumps messages until the
// window is gone; then joins the worker, deletes the artwork and shuts GDI+
// down with `gdiplusToken`. Returns 1 when a failure was reported, else 0.
int RunMainLoop(HINSTANCE instance, const std::wstring& nolmFolder, const std::wstring& displayName,
                ULONG_PTR gdiplusToken);
