#pragma once

#include <cstdint>

// Size of the splash window's client area and of every composed frame, pixels.
inline constexpr int kFrameWidth = 800;
inline constexpr int kFrameHeight = 350;

// The box the title image is fitted into: 0.7 and 0.6 of the frame, computed
// in single precision as the layout always was, 560 x 210.0000153 pixels.
inline constexpr float kTitleBoxWidth = 0.7f * static_cast<float>(kFrameWidth);
inline constexpr float kTitleBoxHeight = 0.6f * static_cast<float>(kFrameHeight);

struct ImagePlacement {
  float x, y, width, height;
};

// Scales an image of `imageWidth` x `imageHeight` pixels to meet the box:
// `cover` takes the larger scale (the box is filled, overflow cut equally),
// otherwise the smaller (the image fits inside). The result is centred on the
// whole frame, not on the box. Single precision throughout.
ImagePlacement PlaceImage(float imageWidth, float imageHeight, float boxWidth, float boxHeight,
                          bool cover);

// Where the splash image of `imageWidth` x `imageHeight` pixels is drawn: the
// cover rule on the whole frame. The painter and the folder checker both ask.
ImagePlacement PlaceSplashImage(float imageWidth, float imageHeight);

// Where the title image is drawn: the fit rule in the title box.
ImagePlacement PlaceTitleImage(float imageWidth, float imageHeight);

// Width in pixels of the progress fill for a progress value of 0 or more,
// clamped to the frame so that an oversized value cannot overflow.
int ProgressFillWidth(int32_t progress);

// Top-left corner that centres a window of the given size on the screen, in
// signed truncating division (negative on a screen smaller than the window).
struct WindowOrigin {
  int x, y;
};
WindowOrigin CenteredOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight);
