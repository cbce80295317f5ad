// The reading of signature files and keys: pure code over what a download
// host writes. Built for the Wine suite and natively with AddressSanitizer
// and UndefinedBehaviorSanitizer (tests/build/check_sanitized_parsing.sh).
#include "net/release_signature.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text/base64.h"

namespace {

// `openssl pkey -pubout` of a throwaway prime256v1 key.
const char kKey[] =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEzl1SbxqbGUx6CuWCylyiUcudPByTwswvgE04fjluy5kYKRPCHCcjc8q"
    "gHT7bnLpXTWupF7Odci9+J8eVobr1og==";
// The same for secp384r1 and for a 1024-bit RSA key.
const char kP384Key[] =
    "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAEkTmQZenb/RY8PgBJ6ecN4aJ/PDKbgXn/hdurlTcD2MZWx5CTnFbo2AqGmEB6"
    "ZThCDQHPKXKFGaScNZQpVskI/sn2THH6Oo99PNyg3JqbJ87V55e/vX+S7clLBp79eteJ";
const char kRsaKey[] =
    "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQC0hoR1OPYoS0opFkZtEHpUI3XSGFOmQseVL55R/Zoh0/2YIP3MepinS2"
    "Xu1/z/Fr+41+2+O/2QHMbf6kVKGPgsbtaGv1CTe97UKHs1WcD6w943eRlruEBttDaCd1B9UxutmQso4ppe7gdpxoPfh7kX"
    "mhRmeDmM1OJrchxEQdHf6QIDAQAB";

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

std::string Base64Encode(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    for (size_t digit = 0; digit < 4; ++digit) {
      text += i + digit <= bytes.size() ? kDigits[(group >> (18 - 6 * digit)) & 63] : '=';
    }
  }
  return text;
}

// The one DER spelling of r||s.
std::string EncodeDer(const unsigned char (&rs)[64]) {
  std::string content;
  for (const unsigned char* scalar : {rs, rs + 32}) {
    size_t first = 0;
    while (first < 31 && scalar[first] == 0) ++first;
    std::string integer(reinterpret_cast<const char*>(scalar + first), 32 - first);
    if (scalar[first] & 0x80) integer.insert(0, 1, '\0');
    content += Bytes({0x02, static_cast<int>(integer.size())}) + integer;
  }
  return Bytes({0x30, static_cast<int>(content.size())}) + content;
}

// A well-formed signature whose r and s both need the sign byte.
std::string TypicalDer() {
  unsigned char rs[64];
  for (int i = 0; i < 64; ++i) rs[i] = static_cast<unsigned char>(0x81 + i);
  return EncodeDer(rs);
}

bool Accepts(const std::string& der) {
  unsigned char rs[64];
  return DerToP256Signature(der, rs);
}

std::string Integer(const std::string& value) {
  return Bytes({0x02, static_cast<int>(value.size())}) + value;
}

std::string Sequence(const std::string& content) {
  return Bytes({0x30, static_cast<int>(content.size())}) + content;
}

}  // namespace

TEST(Base64Decode, AcceptsOnlyTheCanonicalSpelling) {
  std::string bytes;
  for (const char* text : {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "+/+/"}) {
    EXPECT_TRUE(Base64Decode(text, &bytes)) << text;
    EXPECT_EQ(Base64Encode(bytes), text);
  }
  for (const char* text :
       {"Zg", "Zg=", "Z===", "====", "Zm9\n", " Zm9", "Zg==Zm9v", "Zh==", "Zm9=", "-_-_"}) {
    EXPECT_FALSE(Base64Decode(text, &bytes)) << text;
  }
  EXPECT_FALSE(Base64Decode(std::string("Zm\0v", 4), &bytes));
}

TEST(DerToP256Signature, ReadsRAndSIntoFixedFields) {
  unsigned char rs[64];
  ASSERT_TRUE(
      DerToP256Signature(Sequence(Integer(Bytes({0x01})) + Integer(Bytes({0x7F, 0x02}))), rs));
  unsigned char expected[64] = {};
  expected[31] = 0x01;
  expected[62] = 0x7F;
  expected[63] = 0x02;
  EXPECT_EQ(std::memcmp(rs, expected, 64), 0);

  const std::string typical = TypicalDer();
  ASSERT_TRUE(DerToP256Signature(typical, rs));
  EXPECT_EQ(rs[0], 0x81);
  EXPECT_EQ(rs[63], 0xC0);
  EXPECT_EQ(EncodeDer(rs), typical);
}

TEST(DerToP256Signature, RefusesEverySloppyOrOutOfRangeForm) {
  const std::string one = Integer(Bytes({0x01}));
  const std::string order =
      Bytes({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xBC, 0xE6, 0xFA, 0xAD, 0xA7,
             0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51});
  std::string belowOrder = order;
  belowOrder.back() = 0x50;
  EXPECT_TRUE(Accepts(Sequence(Integer(belowOrder) + one)));
  const std::string refused[] = {
      "",
      Sequence(one),                                             // one integer
      Sequence(one + one + one),                                 // three
      Sequence(one + one) + Bytes({0x00}),                       // trailing byte
      Bytes({0x30, 0x07}) + one + one,                           // length too long
      Bytes({0x30, 0x05}) + one + one,                           // too short
      Bytes({0x30, 0x81, 0x06}) + one + one,                     // long form
      Bytes({0x31, 0x06}) + one + one,                           // a SET
      Sequence(Bytes({0x03, 0x01, 0x01}) + one),                 // not an INTEGER
      Sequence(Integer(Bytes({0x00})) + one),                    // zero
      Sequence(Integer(Bytes({0x00, 0x00})) + one),              // zero, padded
      Sequence(Integer(Bytes({0x80})) + one),                    // negative
      Sequence(Integer(Bytes({0x00, 0x7F})) + one),              // padding not needed
      Sequence(Integer("") + one),                               // empty integer
      Sequence(Integer(order) + one),                            // r = n
      Sequence(one + Integer(order)),                            // s = n
      Sequence(Integer(Bytes({0x01}) + order.substr(1)) + one),  // 33 bytes of value
      Sequence(one + Bytes({0x02, 0x05, 0x01})),                 // integer past the end
  };
  for (const std::string& der : refused) EXPECT_FALSE(Accepts(der)) << Base64Encode(der);
}

TEST(P256PublicKeyPoint, TakesTheUncompressedPointOfAP256KeyOnly) {
  unsigned char point[64];
  ASSERT_TRUE(P256PublicKeyPoint(kKey, point));
  std::string der;
  ASSERT_TRUE(Base64Decode(kKey, &der));
  EXPECT_EQ(std::memcmp(point, der.data() + 27, 64), 0);

  std::string key = kKey;
  for (const char* other : {kP384Key, kRsaKey}) {
    ASSERT_TRUE(Base64Decode(other, &der));  // refused for what it is, not for its spelling
    EXPECT_FALSE(P256PublicKeyPoint(other, point));
  }
  EXPECT_FALSE(P256PublicKeyPoint(key.substr(0, 120), point));                // cut short
  EXPECT_FALSE(P256PublicKeyPoint(key.substr(0, 121) + "AAA" + "=", point));  // a byte more
  std::string compressed;
  ASSERT_TRUE(Base64Decode(kKey, &compressed));
  compressed[26] = 0x02;
  EXPECT_FALSE(P256PublicKeyPoint(Base64Encode(compressed), point));
}

TEST(SignatureFileLines, SplitsTrimsSkipsBlanksAndKeepsItsLimits) {
  std::vector<std::string_view> lines;
  ASSERT_TRUE(SignatureFileLines("a\r\n\r\n  b \t\n\nc", &lines));
  EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "b", "c"}));
  ASSERT_TRUE(SignatureFileLines("", &lines));
  EXPECT_TRUE(lines.empty());

  std::string many;
  for (size_t i = 0; i < kMaxSignatureLines; ++i) many += "line\n\n";
  EXPECT_TRUE(SignatureFileLines(many, &lines));
  EXPECT_EQ(lines.size(), kMaxSignatureLines);
  EXPECT_FALSE(SignatureFileLines(many + "one more", &lines));

  std::string big(kMaxSignatureFileBytes, '\n');
  big[0] = 'x';
  EXPECT_TRUE(SignatureFileLines(big, &lines));
  EXPECT_FALSE(SignatureFileLines(big + "\n", &lines));
  EXPECT_GE(kMaxSignatureFileBytes, 16u * 1024);
  EXPECT_GE(kMaxSignatureLines, 16u);
}

TEST(IsSha256Hex, SixtyFourLowercaseDigits) {
  const std::string digest(64, 'a');
  EXPECT_TRUE(IsSha256Hex(digest));
  EXPECT_TRUE(IsSha256Hex("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"));
  EXPECT_FALSE(IsSha256Hex(digest.substr(1)));
  EXPECT_FALSE(IsSha256Hex(digest + "0"));
  EXPECT_FALSE(IsSha256Hex("A" + digest.substr(1)));
  EXPECT_FALSE(IsSha256Hex("g" + digest.substr(1)));
}

TEST(ParseSignedSize, OneToTwentyDigitsThatFitIn64Bits) {
  uint64_t bytes = 7;
  EXPECT_TRUE(ParseSignedSize("3066733", &bytes));
  EXPECT_EQ(bytes, 3066733u);
  EXPECT_TRUE(ParseSignedSize("18446744073709551615", &bytes));
  EXPECT_EQ(bytes, UINT64_MAX);
  for (const char* refused :
       {"", "18446744073709551616", "99999999999999999999", "000000000000000000001", "+1", "-1",
        " 1", "1 ", "1.0", "1e3", "0x10"}) {
    bytes = 7;
    EXPECT_FALSE(ParseSignedSize(refused, &bytes)) << refused;
    EXPECT_EQ(bytes, 7u) << refused;
  }
}

// Mutated and random lines from a fixed seed: whatever a parser accepts must
// be the one canonical spelling of what it read, and nothing may crash.
TEST(SignatureParsingFuzz, AcceptsOnlyCanonicalFormsOfMutatedAndRandomInput) {
  std::mt19937 random(20261209);
  const std::string seeds[] = {TypicalDer(),
                               Sequence(Integer(Bytes({0x01})) + Integer(Bytes({0x7F, 0x02})))};
  size_t acceptedDer = 0;
  for (int round = 0; round < 500000; ++round) {
    std::string der = seeds[round % 2];
    if (round % 5 == 0) {
      der.resize(random() % 80);
      for (char& c : der) c = static_cast<char>(random());
    }
    for (int edits = 1 + random() % 4; edits > 0; --edits) {
      const size_t at = der.empty() ? 0 : random() % der.size();
      switch (random() % 4) {
        case 0:
          if (!der.empty()) der[at] = static_cast<char>(der[at] ^ (1 << (random() % 8)));
          break;
        case 1:
          der.insert(at, 1, static_cast<char>(random()));
          break;
        case 2:
          if (!der.empty()) der.erase(at, 1);
          break;
        default:
          der.resize(at);
      }
    }
    unsigned char rs[64];
    if (DerToP256Signature(der, rs)) {
      ++acceptedDer;
      ASSERT_EQ(EncodeDer(rs), der) << Base64Encode(der);
    }
    std::string line = Base64Encode(der);
    if (!line.empty() && round % 3 == 0) line[random() % line.size()] = static_cast<char>(random());
    std::string decoded;
    if (Base64Decode(line, &decoded)) {
      ASSERT_EQ(Base64Encode(decoded), line);
    }
    unsigned char point[64];
    P256PublicKeyPoint(line, point);

    std::string file = line + (round % 2 ? "\r\n" : "\n") + line.substr(0, random() % 8) + " \n";
    std::vector<std::string_view> lines;
    if (SignatureFileLines(file, &lines)) {
      for (std::string_view piece : lines) {
        ASSERT_FALSE(piece.empty());
        ASSERT_GE(piece.data(), file.data());
        ASSERT_LE(piece.data() + piece.size(), file.data() + file.size());
        ASSERT_EQ(piece.find('\n'), std::string_view::npos);
      }
    }
  }
  // The mutations must reach the accepting paths too, or they prove little.
  EXPECT_GT(acceptedDer, 100u);
}
