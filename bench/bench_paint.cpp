// Times the composition of one splash frame, for bench/suite.sh.
//   bench_paint FRAMES [SPLASH [TITLE]]   composes FRAMES frames with the given
//                                         artwork (none: the placeholder text)
// Prints one line per frame: "compose seconds=<s>". Each frame carries a
// progress bar, as every frame painted during an installation does, and goes
// through the same GDI+ calls as the splash's paint minus the final copy to
// the screen. The images are decoded once, before the clock runs, as the
// shortcut decodes them once before its window exists.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "bench_clock.h"
#include "splash/compose_frame.h"
#include "splash/splash_images.h"

namespace {

int Compose(int frames, Gdiplus::Image* splash, Gdiplus::Image* title) {
  for (int frame = 0; frame < frames; ++frame) {
    const double start = Seconds();
    const bool made = ComposeSplashFrame(splash, title, (frame * 37) % 1001) != nullptr;
    const double elapsed = Seconds() - start;
    if (!made) {
      std::printf("compose failed\n");
      return 1;
    }
    std::printf("compose seconds=%.6f\n", elapsed);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: bench_paint FRAMES [SPLASH [TITLE]]\n");
    return 2;
  }
  const int frames = std::max(1, static_cast<int>(std::wcstol(argv[1], nullptr, 10)));
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  Gdiplus::Bitmap* splash = argc > 2 ? LoadImageIfExists(argv[2]) : nullptr;
  Gdiplus::Bitmap* title = argc > 3 ? LoadImageIfExists(argv[3]) : nullptr;
  int result = 0;
  if ((argc > 2 && !splash) || (argc > 3 && !title)) {
    std::printf("an image did not load\n");
    result = 1;
  } else {
    result = Compose(frames, splash, title);
  }
  delete title;
  delete splash;
  Gdiplus::GdiplusShutdown(token);
  std::fflush(stdout);
  return result;
}
