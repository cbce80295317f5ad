#include "net/sha256.h"

#include <windows.h>
#include <bcrypt.h>

// Older MinGW-w64 headers lack the CNG pseudo-handles.
#ifndef BCRYPT_SHA256_ALG_HANDLE
#define BCRYPT_SHA256_ALG_HANDLE ((BCRYPT_ALG_HANDLE)0x00000041)
#endif

Sha256Stream::Sha256Stream() {
  ok_ = BCryptCreateHash(/* hAlgorithm */ BCRYPT_SHA256_ALG_HANDLE,
                         /* phHash */ &hash_,
                         /* pbHashObject */ nullptr,
                         /* cbHashObject */ 0,
                         /* pbSecret */ nullptr,
                         /* cbSecret */ 0,
                         /* dwFlags */ 0) >= 0;
  if (!ok_) hash_ = nullptr;
}

Sha256Stream::~Sha256Stream() {
  if (hash_) BCryptDestroyHash(hash_);
}

bool Sha256Stream::Add(const void* data, size_t size) {
  ok_ = ok_ && static_cast<ULONG>(size) == size &&
        BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)),
                       static_cast<ULONG>(size), 0) >= 0;
  return ok_;
}

bool Sha256Stream::Finish(unsigned char (&digest)[kSha256Bytes]) {
  ok_ = ok_ && BCryptFinishHash(hash_, digest, kSha256Bytes, 0) >= 0;
  return ok_;
}

bool Sha256Of(std::string_view bytes, unsigned char (&digest)[kSha256Bytes]) {
  Sha256Stream hash;
  return hash.Add(bytes.data(), bytes.size()) && hash.Finish(digest);
}
