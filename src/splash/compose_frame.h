#pragma once

#include <cstdint>
#include <memory>

#include "splash/gdiplus_include.h"

// Draws one whole splash frame into `graphics` (800 x 350): background, the
// splash image by the cover rule, the title image fitted into 560 x 210 (both
// centred), the placeholder text when there is neither, and the progress bar
// when `progress` is 0 or more. Either image may be null. Main thread.
void DrawSplashFrame(Gdiplus::Graphics& graphics, Gdiplus::Image* splash, Gdiplus::Image* title,
                     int32_t progress);

// A new 800 x 350 32bpp ARGB bitmap holding DrawSplashFrame's result, or null
// when GDI+ cannot make one.
std::unique_ptr<Gdiplus::Bitmap> ComposeSplashFrame(Gdiplus::Image* splash, Gdiplus::Image* title,
                                                    int32_t progress);
