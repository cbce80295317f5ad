#pragma once

#include <string>

// Converts UTF-8 bytes to UTF-16. Ill-formed input becomes U+FFFD instead of
// failing; embedded NULs and a leading byte-order mark are kept as characters.
// Returns an empty string for empty input or inputs longer than INT_MAX bytes.
std::wstring Utf8ToWide(const std::string& utf8);
