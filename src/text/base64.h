#pragma once

#include <string>
#include <string_view>

// Decodes strict base64 (standard alphabet, padded to a multiple of four,
// no whitespace, unused trailing bits zero), so that one byte string has one
// spelling. Returns false on anything else; `bytes` is then unspecified.
// Pure; any thread.
bool Base64Decode(std::string_view text, std::string* bytes);

// The value of a base64 digit of the standard alphabet, or -1. Pure;
// usable in constant expressions.
constexpr int Base64DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
