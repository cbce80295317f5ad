#pragma once

#include <string>

#include "check/game/check_report.h"

// Artwork enlarged by more than this factor is warned about: up to twice its
// size bicubic scaling still looks sharp enough; beyond, it looks blurred.
inline constexpr float kUpscaleWarningFactor = 2.0f;

// Loads the artwork of `nolmFolder` exactly as the shortcut does, fills
// `report.splash` and `report.titleImage` with each image's file, pixel size
// and drawn rectangle, and adds the artwork warnings: a file that is there but
// does not load, an image enlarged more than kUpscaleWarningFactor, and a title
// image without any transparent pixel drawn over a splash. GDI+ must be
// running; every image is released before this returns.
void CheckArtwork(const std::wstring& nolmFolder, CheckReport& report);
