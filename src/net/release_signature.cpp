#include "net/release_signature.h"

#include <cstring>

#include "text/base64.h"

namespace {

// The order n of P-256's base point; r and s must lie in 1 .. n-1.
constexpr unsigned char kP256Order[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};

// What every P-256 SubjectPublicKeyInfo holds before X||Y: the SEQUENCE, the
// id-ecPublicKey and prime256v1 identifiers, the BIT STRING and the 0x04 of
// an uncompressed point.
constexpr unsigned char kP256SpkiPrefix[27] = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01, 0x06,
    0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Reads one DER INTEGER at `der[*at]` into a 32-byte big-endian field.
bool ReadScalar(std::string_view der, size_t* at, unsigned char* out) {
  if (der.size() - *at < 2 || der[*at] != 0x02) return false;
  size_t length = static_cast<unsigned char>(der[*at + 1]);
  *at += 2;
  // Long-form lengths never belong here: an integer of 33 bytes at most.
  if (length == 0 || length > 33 || der.size() - *at < length) return false;
  const auto* value = reinterpret_cast<const unsigned char*>(der.data() + *at);
  *at += length;
  if (value[0] & 0x80) return false;  // negative
  if (value[0] == 0x00 && length > 1) {
    if (!(value[1] & 0x80)) return false;  // a padding byte that was not needed
    ++value;
    --length;
  }
  if (length > 32) return false;
  std::memset(out, 0, 32);
  std::memcpy(out + 32 - length, value, length);
  static const unsigned char kZero[32] = {};
  return std::memcmp(out, kZero, 32) != 0 && std::memcmp(out, kP256Order, 32) < 0;
}

}  // namespace

bool SignatureFileLines(std::string_view file, std::vector<std::string_view>* lines) {
  lines->clear();
  if (file.size() > kMaxSignatureFileBytes) return false;
  size_t start = 0;
  while (start <= file.size()) {
    size_t end = file.find('\n', start);
    if (end == std::string_view::npos) end = file.size();
    size_t first = start;
    size_t last = end;
    while (first < last && IsBlank(file[first])) ++first;
    while (last > first && IsBlank(file[last - 1])) --last;
    if (last > first) {
      if (lines->size() == kMaxSignatureLines) return false;
      lines->push_back(file.substr(first, last - first));
    }
    start = end + 1;
  }
  return true;
}

bool DerToP256Signature(std::string_view der, unsigned char (&rs)[64]) {
  // A SEQUENCE whose short-form length covers exactly the rest.
  if (der.size() < 2 || der[0] != 0x30 ||
      size_t{static_cast<unsigned char>(der[1])} != der.size() - 2) {
    return false;
  }
  size_t at = 2;
  return ReadScalar(der, &at, rs) && ReadScalar(der, &at, rs + 32) && at == der.size();
}

bool SignatureLineToP256(std::string_view line, unsigned char (&rs)[64]) {
  std::string der;
  return Base64Decode(line, &der) && DerToP256Signature(der, rs);
}

bool P256PublicKeyPoint(std::string_view base64Spki, unsigned char (&point)[64]) {
  std::string der;
  if (!Base64Decode(base64Spki, &der) || der.size() != sizeof kP256SpkiPrefix + 64 ||
      std::memcmp(der.data(), kP256SpkiPrefix, sizeof kP256SpkiPrefix) != 0) {
    return false;
  }
  std::memcpy(point, der.data() + sizeof kP256SpkiPrefix, 64);
  return true;
}

bool IsSha256Hex(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool ParseSignedSize(std::string_view text, uint64_t* bytes) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *bytes = value;
  return true;
}
