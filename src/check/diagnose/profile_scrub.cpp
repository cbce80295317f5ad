#include "check/diagnose/profile_scrub.h"

#include <windows.h>

#include "check/wide_to_utf8.h"

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Replaces every occurrence of `needle`, ASCII letters compared in any case.
void ReplaceAll(std::string& text, const std::string& needle, const std::string& with) {
  if (needle.empty()) return;
  for (size_t at = 0; at + needle.size() <= text.size();) {
    size_t i = 0;
    while (i < needle.size() && Lower(text[at + i]) == Lower(needle[i])) ++i;
    if (i == needle.size()) {
      text.replace(at, needle.size(), with);
      at += with.size();
    } else {
      ++at;
    }
  }
}

std::string Doubled(const std::string& path) {
  std::string doubled;
  for (char c : path) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return doubled;
}

std::string Variable(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? WideToUtf8(value) : std::string();
}

}  // namespace

std::string WithoutUserNames(std::string text, const std::string& profile,
                             const std::string& userName, const std::string& machineName) {
  std::string folder = profile;
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  if (folder.size() > 3) {
    ReplaceAll(text, Doubled(folder), "%USERPROFILE%");
    ReplaceAll(text, folder, "%USERPROFILE%");
  }
  // The profile's own folder is named after the user, whatever USERNAME says.
  const size_t slash = folder.find_last_of("\\/");
  const std::string leaf = slash == std::string::npos ? std::string() : folder.substr(slash + 1);
  for (const std::string* name : {&leaf, &userName}) {
    if (name->size() >= 3) ReplaceAll(text, *name, "%USERNAME%");
  }
  if (machineName.size() >= 3) ReplaceAll(text, machineName, "%COMPUTERNAME%");
  return text;
}

std::string WithoutThisUsersNames(const std::string& text) {
  return WithoutUserNames(text, Variable(L"USERPROFILE"), Variable(L"USERNAME"),
                          Variable(L"COMPUTERNAME"));
}
