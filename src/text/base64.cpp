#include "text/base64.h"

#include <cstdint>

namespace {

// The value of a base64 digit, or -1.
int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

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
    const int value = DigitValue(text[i]);
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
