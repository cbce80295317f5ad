#include "net/signature_verify.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "net/release_signature.h"

namespace {

bool VerifiesUnder(const unsigned char (&point)[64], const unsigned char (&digest)[kSha256Bytes],
                   unsigned char (&rs)[64]) {
  struct {
    BCRYPT_ECCKEY_BLOB header;
    unsigned char point[64];
  } blob = {{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32}, {}};
  static_assert(sizeof blob == sizeof(BCRYPT_ECCKEY_BLOB) + 64, "the blob has no padding");
  memcpy(blob.point, point, 64);

  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0) {
    return false;
  }
  BCRYPT_KEY_HANDLE key = nullptr;
  bool verified = false;
  if (BCryptImportKeyPair(/* hAlgorithm */ algorithm,
                          /* hImportKey */ nullptr,
                          /* pszBlobType */ BCRYPT_ECCPUBLIC_BLOB,
                          /* phKey */ &key,
                          /* pbInput */ reinterpret_cast<PUCHAR>(&blob),
                          /* cbInput */ sizeof blob,
                          /* dwFlags */ 0) >= 0) {
    // Exactly 64 bytes: some CNG versions accept a longer r||s too.
    verified = BCryptVerifySignature(/* hKey */ key,
                                     /* pPaddingInfo */ nullptr,
                                     /* pbHash */ const_cast<PUCHAR>(digest),
                                     /* cbHash */ kSha256Bytes,
                                     /* pbSignature */ rs,
                                     /* cbSignature */ 64,
                                     /* dwFlags */ 0) == 0;
    BCryptDestroyKey(key);
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return verified;
}

}  // namespace

int SigningKeyIndex(std::string_view line, const unsigned char (&digest)[kSha256Bytes],
                    const char* const* keys, size_t keyCount) {
  unsigned char rs[64];
  if (!SignatureLineToP256(line, rs)) return -1;
  for (size_t i = 0; i < keyCount; ++i) {
    unsigned char point[64];
    if (P256PublicKeyPoint(keys[i], point) && VerifiesUnder(point, digest, rs)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool IsManifestSigned(std::string_view manifest, std::string_view signatureFile,
                      const char* const* keys, size_t keyCount) {
  std::vector<std::string_view> lines;
  unsigned char digest[kSha256Bytes];
  if (!SignatureFileLines(signatureFile, &lines) || !Sha256Of(manifest, digest)) return false;
  for (std::string_view line : lines) {
    if (SigningKeyIndex(line, digest, keys, keyCount) >= 0) return true;
  }
  return false;
}
