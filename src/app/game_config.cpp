#include "app/game_config.h"

#include <windows.h>

#include "common/handles.h"
#include "text/json_string_value.h"
#include "text/utf8_to_wide.h"

std::string ReadConfigText(const std::wstring& path) {
  std::string text;
  UniqueHandle file(CreateFileW(/* lpFileName */ path.c_str(),
                                /* dwDesiredAccess */ GENERIC_READ,
                                /* dwShareMode */ FILE_SHARE_READ,
                                /* lpSecurityAttributes */ nullptr,
                                /* dwCreationDisposition */ OPEN_EXISTING,
                                /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                /* hTemplateFile */ nullptr));
  if (!file) return text;
  char buffer[4096];
  // The limit is tested before each read, so the text never exceeds the limit
  // by more than one read.
  while (text.size() < kConfigTextLimit) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) || got == 0) break;
    text.append(buffer, got);
  }
  return text;
}

static bool IsSlugByte(unsigned char byte) {
  return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= 'a' && byte <= 'z') || byte == '_' || byte == '-';
}

bool IsValidGameSlug(const std::string& slug) {
  // size() - 1 wraps for the empty slug, so one comparison bounds both ends.
  if (slug.size() - 1 > 63) return false;
  for (unsigned char byte : slug) {
    if (!IsSlugByte(byte)) return false;
  }
  return true;
}

GameConfig EvaluateConfig(const std::string& configText) {
  GameConfig config;
  const std::string slug = JsonStringValue(configText, kGameKey);
  config.displayName = Utf8ToWide(JsonStringValue(configText, kNameKey));
  if (!configText.empty() && !IsValidGameSlug(slug)) {
    config.valid = false;
    return config;
  }
  config.slug = Utf8ToWide(slug);
  return config;
}
