#include "text/utf8_to_wide.h"

#include <windows.h>

#include <climits>

std::wstring Utf8ToWide(const std::string& utf8) {
  // The platform takes 32-bit counts; a longer input cannot be passed whole.
  if (utf8.empty() || utf8.size() > INT_MAX) return {};
  const int length = static_cast<int>(utf8.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), units);
  return wide;
}
