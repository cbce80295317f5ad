// The floor for "start to first frame": the least a program can do to show an
// 800 x 350 popup the way the shortcut does (DPI awareness, GDI+ started, a
// registered class, shown and painted at once). With image paths on its
// command line it also decodes them with GDI+ and draws them in that first
// paint, the platform's own cost of artwork. Closes on WM_CLOSE.
#include <windows.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace {

Gdiplus::Bitmap* gImages[2] = {};

LRESULT CALLBACK FloorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      Gdiplus::Graphics graphics(dc);
      graphics.Clear(Gdiplus::Color(0xFF101014));
      for (Gdiplus::Bitmap* image : gImages) {
        if (image) graphics.DrawImage(image, Gdiplus::Rect(0, 0, 800, 350));
      }
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  SetProcessDPIAware();
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  for (int i = 1; i < __argc && i <= 2; ++i) gImages[i - 1] = new Gdiplus::Bitmap(__wargv[i]);

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = FloorWndProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"NolmShortcutSplash";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(
      0, L"NolmShortcutSplash", L"floor", WS_POPUP, (GetSystemMetrics(SM_CXSCREEN) - 800) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - 350) / 2, 800, 350, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  for (Gdiplus::Bitmap* image : gImages) delete image;
  Gdiplus::GdiplusShutdown(token);
  return 0;
}
