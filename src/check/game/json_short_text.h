#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

// `value` as compact JSON text, as dump() writes it without indentation,
// shortened to at most `limit` bytes (at least 4): a longer text is cut at a
// character boundary and ends in "...". Invalid UTF-8 in strings shows as
// U+FFFD. Unlike dump(), which recurses once per nesting level, it keeps its
// own stack and stops once the text is long enough, so a value nested a
// hundred thousand levels deep costs no more than a flat one.
std::string ShortJsonText(const nlohmann::json& value, size_t limit);

// `text` cut at a character boundary to at most `limit` bytes (at least 4),
// ending in "..." when it was longer.
std::string ShortenedUtf8(const std::string& text, size_t limit);
