#include "check/diagnose/profile_scrub.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "check/wide_to_utf8.h"

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Part of a word, or of a placeholder such as %USERPROFILE%.
bool IsWordByte(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= 'a' && byte <= 'z') || byte == '_' || byte == '%' || byte >= 0x80;
}

// Replaces every occurrence of `needle`, ASCII letters compared in any case;
// with `wholeWords`, only where no word goes on either side of it, so that a
// user called "User" leaves %USERPROFILE% and "users" alone.
void ReplaceAll(std::string& text, const std::string& needle, const std::string& with,
                bool wholeWords = false) {
  if (needle.empty()) return;
  for (size_t at = 0; at + needle.size() <= text.size();) {
    size_t i = 0;
    while (i < needle.size() && Lower(text[at + i]) == Lower(needle[i])) ++i;
    const size_t end = at + needle.size();
    if (i == needle.size() && wholeWords &&
        ((at > 0 && IsWordByte(text[at - 1])) || (end < text.size() && IsWordByte(text[end])))) {
      i = 0;
    }
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
  // Longest first, so that a name inside another (the user's inside the
  // machine's, "PC-OF-USER") does not cut the longer one in two.
  std::pair<const std::string*, const char*> names[] = {
      {&leaf, "%USERNAME%"}, {&userName, "%USERNAME%"}, {&machineName, "%COMPUTERNAME%"}};
  std::stable_sort(std::begin(names), std::end(names),
                   [](const auto& a, const auto& b) { return a.first->size() > b.first->size(); });
  for (const auto& [name, placeholder] : names) {
    if (name->size() >= 3) ReplaceAll(text, *name, placeholder, true);
  }
  return text;
}

std::string WithoutThisUsersNames(const std::string& text) {
  return WithoutUserNames(text, Variable(L"USERPROFILE"), Variable(L"USERNAME"),
                          Variable(L"COMPUTERNAME"));
}
