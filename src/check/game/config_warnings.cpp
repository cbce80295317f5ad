#include "check/game/config_warnings.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "check/file_bytes.h"
#include "check/game/json_short_text.h"
#include "check/wide_to_utf8.h"
#include "text/json_string_value.h"

namespace {

using Json = nlohmann::json;

void Warn(std::vector<CheckWarning>& warnings, const char* code, const std::string& message) {
  warnings.push_back({code, message});
}

std::string Quoted(const std::string& bytes) {
  return "\"" + ValidUtf8(bytes) + "\"";
}

// A JSON value as a reader shows it, shortened so the warning stays one line.
std::string Shown(const Json& value) {
  return ShortJsonText(value, 60);
}

// UTF-16 starts with its byte-order mark, or else shows its ASCII, which
// braces, quotes and keys of JSON are, as a NUL in every other byte. One
// stray NUL in UTF-8 text does neither.
bool LooksLikeUtf16(const std::string& bytes) {
  if (bytes.size() >= 2 &&
      ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    return true;
  }
  size_t pairs = 0, littleEndian = 0, bigEndian = 0;
  for (size_t at = 0; at + 1 < bytes.size(); at += 2, ++pairs) {
    if (bytes[at] != '\0' && bytes[at + 1] == '\0') ++littleEndian;
    if (bytes[at] == '\0' && bytes[at + 1] != '\0') ++bigEndian;
  }
  return pairs > 0 && (littleEndian * 2 > pairs || bigEndian * 2 > pairs);
}

bool IsValidUtf8(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) return true;
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                             static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

// 1-based line of the byte at `offset`, for pointing a developer at it.
size_t LineOf(const std::string& text, size_t offset) {
  return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}

// The character that starts at byte `at`, for a person: "é" (U+00E9), or
// "the byte E9, which is not UTF-8," where no well-formed sequence starts.
std::string CharacterAt(const std::string& text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  // The lead byte tells the length; the conversion refuses a lone
  // continuation byte, an overlong form, a surrogate and a cut sequence.
  const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  const std::string sequence = text.substr(at, length);
  wchar_t units[2] = {};
  const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, sequence.data(),
                                        static_cast<int>(sequence.size()), units, 2);
  char code[48];
  if (count <= 0) {
    std::snprintf(code, sizeof code, "the byte %02X, which is not UTF-8,", lead);
    return code;
  }
  const unsigned point =
      count == 1 ? units[0] : 0x10000 + ((units[0] - 0xD800u) << 10) + (units[1] - 0xDC00u);
  std::snprintf(code, sizeof code, "(U+%04X)", point);
  // A control character does not show between quotes; its code point does.
  if (point < 0x20 || point == 0x7F) return code;
  return Quoted(sequence) + " " + code;
}

// Why the shortcut refuses: the same rule, asked one byte at a time, finds
// the first byte it rejects; the developer is told the whole character there.
std::string RefusalReason(const std::string& slug) {
  if (slug.empty()) return "it finds no \"game\" value";
  for (size_t at = 0; at < slug.size(); ++at) {
    if (!IsValidGameSlug(std::string(1, slug[at]))) {
      // Every byte before it is ASCII, so bytes and characters count alike.
      return "the \"game\" value " + Quoted(slug) + " holds " + CharacterAt(slug, at) +
             " at character " + std::to_string(at + 1) + ", and only A-Z a-z 0-9 _ - are allowed";
    }
  }
  return "the \"game\" value is " + std::to_string(slug.size()) +
         " bytes long, longer than the 64 allowed";
}

// Why `file` is not all of the file the shortcut read, or empty when it is.
std::string IncompleteReadReason(const FileBytes& file, const std::string& configText) {
  if (file.size > kWholeFileLimit) {
    return "is " + std::to_string(file.size) + " bytes, more than the " +
           std::to_string(kWholeFileLimit) + " this check reads";
  }
  if (!file.readable) {
    return "could not be read in full (a read failed after " + std::to_string(file.bytes.size()) +
           " of its " + std::to_string(file.size) + " bytes)";
  }
  const bool sameStart = file.bytes.compare(0, configText.size(), configText) == 0;
  const bool shortcutReadAll =
      configText.size() >= std::min<uint64_t>(file.size, static_cast<uint64_t>(kConfigTextLimit));
  if (!file.whole || !sameStart || !shortcutReadAll) {
    return "read differently twice: it changed, or a read failed, while it was being checked";
  }
  return {};
}

void AddFileWarnings(const FileBytes& file, const std::string& configText,
                     std::vector<CheckWarning>& warnings) {
  if (file.size > kConfigTextLimit) {
    Warn(warnings, "config-truncated",
         "nolm/config.json is " + std::to_string(file.size) + " bytes; the shortcut reads only " +
             "the first " + std::to_string(kConfigTextLimit) + " and ignores the rest");
  }
  // Bytes cut off by a read that stopped early may end inside a character.
  const size_t cut = file.whole ? 0 : std::min<size_t>(3, file.bytes.size());
  if (LooksLikeUtf16(file.bytes)) {
    const bool scanFindsNothing = JsonStringValue(configText, kGameKey).empty() &&
                                  JsonStringValue(configText, kNameKey).empty();
    Warn(warnings, "config-not-utf8",
         std::string("nolm/config.json looks like UTF-16; the shortcut reads it as UTF-8 bytes") +
             (scanFindsNothing ? " and finds no \"game\" or \"name\" in it" : "") +
             ": save it as UTF-8");
  } else if (!IsValidUtf8(file.bytes.substr(0, file.bytes.size() - cut))) {
    Warn(warnings, "config-not-utf8",
         "nolm/config.json is not valid UTF-8; characters in another encoding show as \xEF\xBF\xBD "
         "in the window title: save it as UTF-8");
  }
}

// Records where and why a JSON reader stops, without any exception thrown.
struct ParseErrorRecorder : nlohmann::json_sax<Json> {
  std::string message;
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    // what() reads "[json.exception.parse_error.101] parse error at line 1, ...".
    message = error.what();
    const size_t at = message.find("] ");
    if (at != std::string::npos) message.erase(0, at + 2);
    return false;
  }
};

std::string ParseErrorOf(const std::string& text) {
  ParseErrorRecorder recorder;
  Json::sax_parse(text, &recorder);
  // The reader quotes the token it stopped in, which may be megabytes long.
  const std::string lastRead = "; last read: '";
  const size_t quoted = recorder.message.find(lastRead);
  if (quoted == std::string::npos) return recorder.message;
  const size_t from = quoted + lastRead.size();
  // The quote closes either the message or the part before "; expected ...".
  size_t to = recorder.message.find("'; expected ", from);
  if (to == std::string::npos) to = recorder.message.size() - 1;
  if (to < from) return recorder.message;
  return recorder.message.substr(0, from) +
         ShortenedUtf8(recorder.message.substr(from, to - from), 40) + recorder.message.substr(to);
}

// "game" or "name": what the scan takes against what a JSON reader sees.
void CompareKey(const std::string& key, const std::string& configText, const Json* document,
                const std::string& wholeText, std::vector<CheckWarning>& warnings) {
  const std::string scanned = JsonStringValue(configText, key);
  if (scanned.find('\\') != std::string::npos) {
    Warn(warnings, "escape-literal",
         "the \"" + key + "\" value " + Quoted(scanned) + " holds a backslash; the shortcut " +
             "decodes no escape sequences and uses it exactly as written");
  }
  if (document == nullptr || !document->is_object()) return;
  const auto member = document->find(key);
  const bool found = member != document->end();
  if (!found && scanned.empty()) return;
  if (found && member->is_string()) {
    const std::string& value = member->get_ref<const std::string&>();
    if (value == scanned) return;
    // Escapes alone, already reported: the scanned text decodes to the value.
    const Json decoded = Json::parse("\"" + scanned + "\"", nullptr, false);
    if (decoded.is_string() && decoded.get_ref<const std::string&>() == value) return;
  }
  std::string reason;
  const std::string needle = "\"" + key + "\"";
  if (found && !member->is_string()) {
    reason = scanned.empty() ? "the value is not a string, and no quoted text follows it in what "
                               "the shortcut reads"
                             : "the value is not a string, so the shortcut takes the next quoted "
                               "text instead";
  } else if (found && member->get_ref<const std::string&>().find('"') != std::string::npos &&
             !scanned.empty() && scanned.back() == '\\') {
    reason = "the value holds an escaped quote, where the shortcut's value ends";
  } else if (configText.find(needle) == std::string::npos) {
    reason = wholeText.find(needle) != std::string::npos
                 ? needle + " stands past the first " + std::to_string(kConfigTextLimit) +
                       " bytes, which are all the shortcut reads"
                 : "the file writes the key with an escape sequence, which the shortcut does not "
                   "decode";
  } else {
    reason = needle + " first appears on line " +
             std::to_string(LineOf(configText, configText.find(needle))) +
             " (nested, as a value, or twice), and the shortcut takes the first occurrence";
  }
  const std::string seen = found ? needle + ": " + Shown(*member) : "no top-level " + needle;
  const std::string taken = scanned.empty() ? "nothing" : Quoted(scanned);
  Warn(warnings, key == kGameKey ? "scan-differs-game" : "scan-differs-name",
       "a JSON reader sees " + seen + ", but the shortcut takes " + taken + ": " + reason);
}

}  // namespace

void AddConfigWarnings(const std::wstring& configPath, const std::string& configText,
                       const GameConfig& config, std::vector<CheckWarning>& warnings) {
  const FileBytes file = ReadFileBytes(configPath);
  if (configText.empty()) {
    std::string what = "nolm/config.json is missing";
    if (file.isFolder) what = "nolm/config.json is a folder";
    if (file.exists && !file.isFolder) what = "nolm/config.json could not be read";
    if (file.readable && file.size == 0) what = "nolm/config.json is empty";
    Warn(warnings, file.readable && file.size == 0 ? "config-empty" : "config-missing",
         what + ": the launcher starts without --game, so it does not know which game to open");
    return;
  }
  AddFileWarnings(file, configText, warnings);
  const std::string scannedGame = JsonStringValue(configText, kGameKey);
  if (!config.valid) {
    Warn(warnings, "config-refused",
         "the shortcut refuses nolm/config.json because " + RefusalReason(scannedGame) +
             "; the player sees the invalid-configuration message and the game does not start");
  }
  const std::string incomplete = IncompleteReadReason(file, configText);
  if (!incomplete.empty()) {
    // Part of a file is no JSON document: the reader would only report where
    // the bytes stop, and compare values that may lie past them.
    Warn(warnings, "config-partly-read",
         "nolm/config.json " + incomplete +
             ", so its JSON was not checked and not compared with the shortcut's scan");
    CompareKey(kGameKey, configText, nullptr, file.bytes, warnings);
    CompareKey(kNameKey, configText, nullptr, file.bytes, warnings);
    return;
  }
  const Json document = Json::parse(file.bytes, nullptr, false);
  if (document.is_discarded()) {
    Warn(warnings, "config-not-json",
         "nolm/config.json is not valid JSON (" + ParseErrorOf(file.bytes) +
             "); the shortcut's scan may still read it, but JSON tools will not");
  } else if (!document.is_object()) {
    Warn(warnings, "config-not-object",
         "nolm/config.json holds valid JSON but not an object, so a JSON reader sees no "
         "\"game\" or \"name\" in it");
  }
  const Json* comparable = document.is_discarded() ? nullptr : &document;
  CompareKey(kGameKey, configText, comparable, file.bytes, warnings);
  CompareKey(kNameKey, configText, comparable, file.bytes, warnings);
}
