#include "check/config_warnings.h"

#include <windows.h>

#include <algorithm>
#include <climits>

#include <nlohmann/json.hpp>

#include "check/file_bytes.h"
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
  std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

// UTF-16 text of JSON always holds NUL bytes, since its braces and quotes are
// ASCII; UTF-8 JSON text never does. A byte-order mark is not needed to tell.
bool LooksLikeUtf16(const std::string& bytes) {
  return bytes.find('\0') != std::string::npos;
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

// Why the shortcut refuses: the same rule, asked one byte at a time, names
// the first byte it rejects.
std::string RefusalReason(const std::string& slug) {
  if (slug.empty()) return "it finds no \"game\" value";
  for (char byte : slug) {
    if (!IsValidGameSlug(std::string(1, byte))) {
      return "the \"game\" value " + Quoted(slug) + " holds " + Quoted(std::string(1, byte)) +
             ", and only A-Z a-z 0-9 _ - are allowed";
    }
  }
  return "the \"game\" value is " + std::to_string(slug.size()) +
         " bytes long, longer than the 64 allowed";
}

void AddFileWarnings(const FileBytes& file, std::vector<CheckWarning>& warnings) {
  if (file.size > kConfigTextLimit) {
    Warn(warnings, "config-truncated",
         "nolm/config.json is " + std::to_string(file.size) + " bytes; the shortcut reads only " +
             "the first " + std::to_string(kConfigTextLimit) + " and ignores the rest");
  }
  if (LooksLikeUtf16(file.bytes)) {
    Warn(warnings, "config-not-utf8",
         "nolm/config.json looks like UTF-16; the shortcut reads it as UTF-8 bytes and finds no "
         "\"game\" or \"name\" in it: save it as UTF-8");
  } else if (!IsValidUtf8(file.bytes)) {
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
  return recorder.message;
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
    reason = "the value is not a string, so the shortcut takes the next quoted text instead";
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
  AddFileWarnings(file, warnings);
  const std::string scannedGame = JsonStringValue(configText, kGameKey);
  if (!config.valid) {
    Warn(warnings, "config-refused",
         "the shortcut refuses nolm/config.json because " + RefusalReason(scannedGame) +
             "; the player sees the invalid-configuration message and the game does not start");
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
