// Stand-in for a DLL that another tool dropped into the game's folder under a
// system DLL's name. It exports nothing; loading it is the fault, and it
// leaves "<its own path>.loaded" behind so the test can tell.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH * 4] = {};
  GetModuleFileNameW(instance, path, MAX_PATH * 4);
  HANDLE marker = CreateFileW((std::wstring(path) + L".loaded").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}
