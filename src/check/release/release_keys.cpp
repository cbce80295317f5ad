#include "check/release/release_keys.h"

#include "check/file_bytes.h"
#include "check/wide_to_utf8.h"
#include "deployment.h"
#include "net/file_sha256.h"
#include "net/release_signature.h"
#include "net/sha256.h"
#include "text/base64.h"

namespace {

constexpr char kPemBegin[] = "-----BEGIN PUBLIC KEY-----";
constexpr char kPemEnd[] = "-----END PUBLIC KEY-----";

// The base64 between the PEM lines, its line breaks removed; empty when the
// text holds no such block.
std::string PemBody(const std::string& text) {
  const size_t begin = text.find(kPemBegin);
  if (begin == std::string::npos) return {};
  const size_t end = text.find(kPemEnd, begin);
  if (end == std::string::npos) return {};
  std::string body;
  for (size_t i = begin + sizeof kPemBegin - 1; i < end; ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') body += c;
  }
  return body;
}

// The first 16 hex digits of the SHA-256 of the key's DER; false when it
// cannot be computed.
bool Fingerprint(const std::string& base64, std::string* fingerprint) {
  std::string der;
  unsigned char digest[kSha256Bytes];
  if (!Base64Decode(base64, &der) || !Sha256Of(der, digest)) return false;
  *fingerprint = HexLower(digest, 8);
  return true;
}

bool IsP256Key(const std::string& base64) {
  unsigned char point[64];
  return P256PublicKeyPoint(base64, point);
}

}  // namespace

bool ReadReleaseKey(const std::wstring& argument, ReleaseKey* key, std::string* error) {
  key->source = WideToUtf8(argument);
  key->base64 = key->source;
  if (!IsP256Key(key->base64)) {
    const FileBytes file = ReadFileBytes(argument);
    if (!file.exists || file.isFolder) {
      *error = "--key " + key->source +
               ": neither a P-256 public key in base64 (124 characters, the lines of "
               "`openssl pkey -pubout` joined) nor a PEM file";
      return false;
    }
    key->fromFile = true;
    key->base64 = PemBody(file.bytes);
    if (key->base64.empty()) {
      // A private key handed over by mistake should be noticed, not used.
      *error = "--key " + key->source + ": the file holds no " + kPemBegin + " block" +
               (file.bytes.find("PRIVATE KEY") != std::string::npos
                    ? " but a private key: give its public key (`openssl pkey -pubout`)"
                    : "");
      return false;
    }
    if (!IsP256Key(key->base64)) {
      *error = "--key " + key->source +
               ": the file's public key is not an ECDSA P-256 key, the only kind a build pins";
      return false;
    }
  }
  if (!Fingerprint(key->base64, &key->fingerprint)) {
    *error = "--key " + key->source + ": its fingerprint could not be computed";
    return false;
  }
  return true;
}

std::vector<ReleaseKey> PinnedReleaseKeys() {
  std::vector<ReleaseKey> keys;
#if NOLM_RELEASE_KEY_COUNT > 0
  for (const char* base64 : kReleaseKeys) {
    ReleaseKey& key = keys.emplace_back();
    key.base64 = base64;
    key.source = base64;
    key.pinned = true;
    // The configuration admitted only keys that decode.
    Fingerprint(key.base64, &key.fingerprint);
  }
#endif
  return keys;
}
