#include "splash/placement.h"

ImagePlacement PlaceImage(float imageWidth, float imageHeight, float boxWidth, float boxHeight,
                          bool cover) {
  const float scaleX = boxWidth / imageWidth;
  const float scaleY = boxHeight / imageHeight;
  const bool useX = cover ? scaleX > scaleY : scaleX < scaleY;
  const float scale = useX ? scaleX : scaleY;
  const float width = imageWidth * scale;
  const float height = imageHeight * scale;
  return {(static_cast<float>(kFrameWidth) - width) * 0.5f,
          (static_cast<float>(kFrameHeight) - height) * 0.5f, width, height};
}

ImagePlacement PlaceSplashImage(float imageWidth, float imageHeight) {
  return PlaceImage(imageWidth, imageHeight, static_cast<float>(kFrameWidth),
                    static_cast<float>(kFrameHeight), true);
}

ImagePlacement PlaceTitleImage(float imageWidth, float imageHeight) {
  return PlaceImage(imageWidth, imageHeight, kTitleBoxWidth, kTitleBoxHeight, false);
}

int ProgressFillWidth(int32_t progress) {
  if (progress <= 0) return 0;
  // Past 1000 the bar is full anyway; clamping first also keeps the product
  // within 32 bits for any value.
  const int32_t clamped = progress > 1000 ? 1000 : progress;
  return clamped * kFrameWidth / 1000;
}

WindowOrigin CenteredOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
  return {(screenWidth - windowWidth) / 2, (screenHeight - windowHeight) / 2};
}
