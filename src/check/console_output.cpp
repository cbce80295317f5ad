#include "check/console_output.h"

#include <climits>

#include "text/utf8_to_wide.h"

bool WriteStd(DWORD which, const std::string& utf8) {
  // The standard handles belong to the process, not to us: never closed here.
  const HANDLE out = GetStdHandle(which);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    // A console shows UTF-16 right whatever its code page; UTF-8 bytes would
    // come out in the console's code page, usually not UTF-8.
    const std::wstring wide = Utf8ToWide(utf8);
    size_t done = 0;
    while (done < wide.size()) {
      const size_t left = wide.size() - done;
      DWORD wrote = 0;
      if (!WriteConsoleW(out, wide.data() + done, static_cast<DWORD>(left < 4096 ? left : 4096),
                         &wrote, nullptr) ||
          wrote == 0) {
        return false;
      }
      done += wrote;
    }
    return true;
  }
  // Redirected: the bytes go unchanged, so a pipeline reads UTF-8.
  size_t done = 0;
  while (done < utf8.size()) {
    const size_t left = utf8.size() - done;
    DWORD wrote = 0;
    if (!WriteFile(out, utf8.data() + done, static_cast<DWORD>(left < INT_MAX ? left : INT_MAX),
                   &wrote, nullptr) ||
        wrote == 0) {
      return false;
    }
    done += wrote;
  }
  return true;
}
