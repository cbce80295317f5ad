#pragma once

#include <cstdint>

#include "text/base64.h"

// Compile-time check of a pinned release key: the configuration compiles a
// static_assert on each key, so that no toolchain (with or without openssl at
// hand) builds a shortcut whose key can never verify anything. Not used at
// run time.

namespace p256 {

// 256-bit numbers as eight 32-bit limbs, least significant first, each held
// in 64 bits so that products and carries fit.
struct U256 {
  uint64_t limb[8] = {};
};

// p = 2^256 - 2^224 + 2^192 + 2^96 - 1 and the curve's b.
inline constexpr U256 kPrime = {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0, 1, 0xFFFFFFFF}};
inline constexpr U256 kB = {{0x27D2604B, 0x3BCE3C3E, 0xCC53B0F6, 0x651D06B0, 0x769886BC, 0xB3EBBD55,
                             0xAA3A93E7, 0x5AC635D8}};

constexpr bool Less(const U256& a, const U256& b) {
  for (int i = 7; i >= 0; --i) {
    if (a.limb[i] != b.limb[i]) return a.limb[i] < b.limb[i];
  }
  return false;
}

constexpr U256 Subtract(const U256& a, const U256& b) {  // a - b, a >= b
  U256 r;
  uint64_t borrow = 0;
  for (int i = 0; i < 8; ++i) {
    const uint64_t d = a.limb[i] - b.limb[i] - borrow;
    r.limb[i] = d & 0xFFFFFFFF;
    borrow = (d >> 63) & 1;
  }
  return r;
}

constexpr U256 AddMod(const U256& a, const U256& b) {  // a, b < p
  U256 r;
  uint64_t carry = 0;
  for (int i = 0; i < 8; ++i) {
    const uint64_t s = a.limb[i] + b.limb[i] + carry;
    r.limb[i] = s & 0xFFFFFFFF;
    carry = s >> 32;
  }
  return carry != 0 || !Less(r, kPrime) ? Subtract(r, kPrime) : r;
}

// a * b / 2^256 mod p (Montgomery). The lowest limb of p is 2^32 - 1, so
// -p^-1 mod 2^32 is 1 and each round's multiplier is the low limb itself.
constexpr U256 MontgomeryProduct(const U256& a, const U256& b) {
  uint64_t t[10] = {};
  for (int i = 0; i < 8; ++i) {
    uint64_t carry = 0;
    for (int j = 0; j < 8; ++j) {
      const uint64_t s = t[j] + a.limb[j] * b.limb[i] + carry;
      t[j] = s & 0xFFFFFFFF;
      carry = s >> 32;
    }
    uint64_t s = t[8] + carry;
    t[8] = s & 0xFFFFFFFF;
    t[9] = s >> 32;
    const uint64_t m = t[0];
    carry = (t[0] + m * kPrime.limb[0]) >> 32;
    for (int j = 1; j < 8; ++j) {
      s = t[j] + m * kPrime.limb[j] + carry;
      t[j - 1] = s & 0xFFFFFFFF;
      carry = s >> 32;
    }
    s = t[8] + carry;
    t[7] = s & 0xFFFFFFFF;
    t[8] = t[9] + (s >> 32);
  }
  U256 r;
  for (int i = 0; i < 8; ++i) r.limb[i] = t[i];
  return t[8] != 0 || !Less(r, kPrime) ? Subtract(r, kPrime) : r;
}

// Big-endian 32 bytes from `bytes` into limbs.
constexpr U256 FromBytes(const uint8_t* bytes) {
  U256 r;
  for (int i = 0; i < 32; ++i) {
    const int limb = (31 - i) / 4;
    r.limb[limb] = (r.limb[limb] << 8) | bytes[i];
  }
  return r;
}

// The 27 bytes every uncompressed P-256 SubjectPublicKeyInfo starts with.
inline constexpr uint8_t kKeyPrefix[27] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48,
                                           0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A, 0x86, 0x48,
                                           0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

}  // namespace p256

// True when `base64` (NUL-terminated) is a P-256 SubjectPublicKeyInfo whose
// point has both coordinates below p and satisfies y^2 = x^3 - 3x + b (mod p).
constexpr bool IsP256PublicKeyOnCurve(const char* base64) {
  uint8_t der[91] = {};
  int bytes = 0;
  uint32_t bits = 0;
  int pending = 0;
  for (const char* c = base64; *c != '\0' && *c != '='; ++c) {
    const int value = Base64DigitValue(*c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    pending += 6;
    if (pending >= 8) {
      pending -= 8;
      if (bytes == 91) return false;
      der[bytes++] = static_cast<uint8_t>(bits >> pending);
      bits &= (1u << pending) - 1;
    }
  }
  if (bytes != 91) return false;
  for (int i = 0; i < 27; ++i) {
    if (der[i] != p256::kKeyPrefix[i]) return false;
  }
  const p256::U256 x = p256::FromBytes(der + 27);
  const p256::U256 y = p256::FromBytes(der + 59);
  if (!p256::Less(x, p256::kPrime) || !p256::Less(y, p256::kPrime)) return false;
  // Both sides times 2^-512: each product below carries one factor 2^-256.
  const p256::U256 one = {{1}};
  const p256::U256 left = p256::MontgomeryProduct(p256::MontgomeryProduct(y, y), one);
  const p256::U256 x3 = p256::MontgomeryProduct(p256::MontgomeryProduct(x, x), x);
  const p256::U256 threeX = p256::MontgomeryProduct(
      p256::MontgomeryProduct(p256::AddMod(p256::AddMod(x, x), x), one), one);
  const p256::U256 b = p256::MontgomeryProduct(p256::MontgomeryProduct(p256::kB, one), one);
  // x^3 - 3x as x^3 + (p - 3x); 3x is below p.
  const p256::U256 minusThreeX =
      p256::Less(threeX, {{1}}) ? threeX : p256::Subtract(p256::kPrime, threeX);
  const p256::U256 right = p256::AddMod(p256::AddMod(x3, minusThreeX), b);
  for (int i = 0; i < 8; ++i) {
    if (left.limb[i] != right.limb[i]) return false;
  }
  return true;
}
