#include "text/json_string_value.h"

std::string JsonStringValue(const std::string& json, const std::string& key) {
  const std::string needle = "\"" + key + "\"";
  const size_t keyAt = json.find(needle);
  if (keyAt == std::string::npos) return {};
  // The colon is searched from the key's opening quote, so whatever stands
  // between the key and its value is skipped without being examined.
  const size_t colonAt = json.find(':', keyAt);
  if (colonAt == std::string::npos) return {};
  const size_t openAt = json.find('"', colonAt);
  if (openAt == std::string::npos) return {};
  const size_t closeAt = json.find('"', openAt + 1);
  if (closeAt == std::string::npos) return {};
  return json.substr(openAt + 1, closeAt - openAt - 1);
}
