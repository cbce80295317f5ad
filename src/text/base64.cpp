#include "text/base64.h"

#include <cstdint>

bool Base64Decode(std::string_view text, std::string* bytes) {
  if (text.size() % 4 != 0) return false;
  size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  const size_t digits = text.size() - padding;
  bytes->clear();
  bytes->reserve(digits * 3 / 4);
  uint32_t bits = 0;
  int bitCount = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int value = Base64DigitValue(text[i]);
    if (value < 0) return false;  // a stray '=' included
    bits = (bits << 6) | static_cast<uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes->push_back(static_cast<char>((bits >> bitCount) & 0xFF));
    }
  }
  // Left over: 0 bits (no padding), 4 ("=="), or 2 ("="); they must be zero.
  return (bits & ((1u << bitCount) - 1)) == 0;
}
