#pragma once

#include <string>
#include <string_view>

// Decodes strict base64 (standard alphabet, padded to a multiple of four,
// no whitespace, unused trailing bits zero), so that one byte string has one
// spelling. Returns false on anything else; `bytes` is then unspecified.
// Pure; any thread.
bool Base64Decode(std::string_view text, std::string* bytes);
