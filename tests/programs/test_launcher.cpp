// Stand-in for the launcher in tests and in the demo.
// Appends "<command line>|<current directory>" (UTF-16) to launch.log beside
// itself, then behaves as the first word of mode.txt beside it says:
//   window  (default) a visible window for 3 s, then exit 0
//   hidden  no window; lives 15 s
//   invisible  a window that is never shown; lives 15 s
//   exit    exit at once with code 0
//   demo    a window showing the --game slug, until closed
#include <windows.h>

#include <string>

namespace {

std::wstring gCaption = L"Test launcher";

std::wstring OwnFolder() {
  wchar_t self[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  std::wstring path(self);
  return path.substr(0, path.find_last_of(L'\\'));
}

void AppendLaunchRecord(const std::wstring& folder) {
  wchar_t directory[MAX_PATH * 4] = {};
  GetCurrentDirectoryW(MAX_PATH * 4, directory);
  const std::wstring line = std::wstring(GetCommandLineW()) + L"|" + directory + L"\n";
  HANDLE file = CreateFileW((folder + L"\\launch.log").c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
            nullptr);
  CloseHandle(file);
}

std::string ReadMode(const std::wstring& folder) {
  HANDLE file = CreateFileW((folder + L"\\mode.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "window";
  char buffer[32] = {};
  DWORD got = 0;
  ReadFile(file, buffer, sizeof buffer - 1, &got, nullptr);
  CloseHandle(file);
  std::string mode(buffer, got);
  return mode.substr(0, mode.find_first_of(" \r\n"));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      HBRUSH background = CreateSolidBrush(RGB(24, 96, 64));
      FillRect(dc, &area, background);
      DeleteObject(background);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      DrawTextW(dc, gCaption.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

int RunWindow(HINSTANCE instance, UINT lifetimeMs, bool visible) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = L"NolmTestLauncher";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, L"NolmTestLauncher", gCaption.c_str(),
                                WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 200, 150, 640,
                                360, nullptr, nullptr, instance, nullptr);
  if (lifetimeMs) SetTimer(window, 1, lifetimeMs, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  const std::wstring folder = OwnFolder();
  AppendLaunchRecord(folder);
  const std::string mode = ReadMode(folder);
  if (mode == "exit") return 0;
  if (mode == "hidden") {
    Sleep(15000);
    return 0;
  }
  const std::wstring arguments(commandLine);
  const size_t game = arguments.find(L"--game=");
  gCaption = game == std::wstring::npos ? L"Nolm Launcher (no game)"
                                        : L"Nolm Launcher - game: " + arguments.substr(game + 7);
  if (mode == "invisible") return RunWindow(instance, 15000, false);
  return RunWindow(instance, mode == "demo" ? 0 : 3000, true);
}
