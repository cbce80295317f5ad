#pragma once

#include <cstddef>
#include <string_view>

inline constexpr size_t kSha256Bytes = 32;

// SHA-256 fed in pieces, through CNG's SHA-256 pseudo-handle (no provider to
// open). Any thread; one object per stream.
class Sha256Stream {
 public:
  Sha256Stream();
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  ~Sha256Stream();

  // Adds `size` bytes (at most 4 GiB - 1 a call). False, and false from then
  // on, once the hash could not be made or a piece was refused.
  bool Add(const void* data, size_t size);
  // The digest of all that was added. False when any step failed; call once.
  bool Finish(unsigned char (&digest)[kSha256Bytes]);

 private:
  void* hash_ = nullptr;  // BCRYPT_HASH_HANDLE
  bool ok_ = false;
};

// SHA-256 of `bytes` in one go; false when CNG fails.
bool Sha256Of(std::string_view bytes, unsigned char (&digest)[kSha256Bytes]);
