// Test program: records that it ran, then exits with the code it was given.
//   exit_code.exe [CODE] [ANYTHING...]
// Appends its whole command line to "<own path>.ran" first, so a test can tell
// whether (and how) it was started. A missing or non-numeric CODE exits 0.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  const std::wstring marker = std::wstring(self) + L".ran";
  HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
  }
  return argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : 0;
}
