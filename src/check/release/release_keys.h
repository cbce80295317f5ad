#pragma once

#include <string>
#include <vector>

// One public key given with --key, in the form the build pins it.
struct ReleaseKey {
  std::string base64;       // the base64 of its DER SubjectPublicKeyInfo
  std::string fingerprint;  // the first 16 hex digits of the SHA-256 of that DER
  std::string source;       // the argument as given (UTF-8): the base64 itself or a path
  bool fromFile = false;    // `source` is the path of a PEM file
  bool pinned = false;      // pinned in this build (NOLM_RELEASE_KEYS), not given with --key
};

// The keys this build pins, in their order: what its own shortcut decides
// with. Empty for a build without keys.
std::vector<ReleaseKey> PinnedReleaseKeys();

// Reads one --key argument: the base64 of a P-256 public key's DER
// SubjectPublicKeyInfo, or the path of a PEM file holding one (the
// "-----BEGIN PUBLIC KEY-----" block `openssl pkey -pubout` writes). False,
// with `*error` saying why in a line, when it is neither.
bool ReadReleaseKey(const std::wstring& argument, ReleaseKey* key, std::string* error);
