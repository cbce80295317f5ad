#pragma once

#include <cstddef>
#include <string_view>

#include "net/sha256.h"

// Signature checks of a release manifest with CNG's ECDSA P-256. Keys are the
// base64 of a DER SubjectPublicKeyInfo, as the build pins them. The shortcut
// and nolm-check decide through these same functions. Any thread.

// Index into `keys` of the first key under which `line` (one line of a
// signature file: the base64 of a DER signature) is a valid signature of the
// SHA-256 `digest`; -1 when none is. A line that is no well-formed signature
// and a key that is no P-256 key verify nothing.
int SigningKeyIndex(std::string_view line, const unsigned char (&digest)[kSha256Bytes],
                    const char* const* keys, size_t keyCount);

// True when `signatureFile` is within its limits and one of its lines is a
// signature of the exact bytes of `manifest` under one of `keys`.
bool IsManifestSigned(std::string_view manifest, std::string_view signatureFile,
                      const char* const* keys, size_t keyCount);
