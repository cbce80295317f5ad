#pragma once

#include <string>

// The game's own folder beside the program, and its configuration file in
// it, each appended as it stands.
inline constexpr wchar_t kNolmFolder[] = L"/nolm";
inline constexpr wchar_t kConfigFile[] = L"/config.json";

// The two keys the shortcut looks up in the configuration text.
inline constexpr char kGameKey[] = "game";
inline constexpr char kNameKey[] = "name";

// The configuration file is read up to this many bytes; the rest is ignored.
inline constexpr size_t kConfigTextLimit = 0x10000;

// Reads the first bytes of the file at `path` (at most kConfigTextLimit, in
// 4096-byte reads, stopping at the first read error). Returns an empty string
// when the file is missing, cannot be opened or is empty.
std::string ReadConfigText(const std::wstring& path);

// True for 1 to 64 bytes, each an ASCII letter or digit, '_' or '-'.
bool IsValidGameSlug(const std::string& slug);

struct GameConfig {
  bool valid = true;         // false: the invalid-configuration message is due
  std::wstring slug;         // empty when the configuration text was empty
  std::wstring displayName;  // the "name" value, empty when absent
};

// Applies the configuration rule to the bytes read from config.json: an empty
// text is a valid configuration with no slug; otherwise "game" must hold a
// valid slug.
GameConfig EvaluateConfig(const std::string& configText);
