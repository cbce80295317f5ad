#pragma once

#include <string>

#include "splash/gdiplus_include.h"

// Saves `image` as a PNG file at `path` with the platform's PNG encoder
// (GDI+'s, found by its MIME type), replacing any file there; a 32-bit ARGB
// image gives a 32-bit PNG. On failure returns false, says why in `error`
// (UTF-8, one short phrase) and removes whatever part of the file was
// written. GDI+ must be running.
bool SavePngFile(Gdiplus::Image& image, const std::wstring& path, std::string& error);
