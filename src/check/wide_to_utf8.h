#pragma once

#include <string>

// Converts UTF-16 to UTF-8; a lone surrogate becomes U+FFFD. Empty for empty
// input or input longer than INT_MAX units.
std::string WideToUtf8(const std::wstring& wide);

// `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD, as the
// shortcut shows such text, so that it can be printed or put in JSON.
std::string ValidUtf8(const std::string& bytes);
