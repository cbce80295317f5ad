#pragma once

#include <string>

// Returns the bytes between the quotes of the string value that follows the
// first occurrence of "key" (quoted) in `json`. This is a literal forward scan,
// not a parser: no nesting, no escapes, first occurrence wins. A missing key,
// a missing colon or quote, and an empty value all give the empty string.
// Pure; callable from any thread.
std::string JsonStringValue(const std::string& json, const std::string& key);
