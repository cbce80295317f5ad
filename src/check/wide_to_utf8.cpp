#include "check/wide_to_utf8.h"

#include <windows.h>

#include <climits>

#include "text/utf8_to_wide.h"

std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty() || wide.size() > INT_MAX) return {};
  const int length = static_cast<int>(wide.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

std::string ValidUtf8(const std::string& bytes) {
  // The round trip through the shortcut's own conversion replaces exactly
  // what the player would see replaced.
  return WideToUtf8(Utf8ToWide(bytes));
}
