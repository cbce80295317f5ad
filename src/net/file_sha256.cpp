#include "net/file_sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <memory>
#include <new>

#include "common/handles.h"

// Older MinGW-w64 headers lack the CNG pseudo-handles.
#ifndef BCRYPT_SHA256_ALG_HANDLE
#define BCRYPT_SHA256_ALG_HANDLE ((BCRYPT_ALG_HANDLE)0x00000041)
#endif

namespace {

constexpr DWORD kReadSize = 65536;
constexpr ULONG kDigestSize = 32;

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

// Hashes the open file into `digest`; the hash object never outlives the call.
bool HashFile(HANDLE file, unsigned char (&digest)[kDigestSize]) {
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kReadSize]);
  if (!buffer) return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Succeeded(BCryptCreateHash(/* hAlgorithm */ BCRYPT_SHA256_ALG_HANDLE,
                                  /* phHash */ &hash,
                                  /* pbHashObject */ nullptr,
                                  /* cbHashObject */ 0,
                                  /* pbSecret */ nullptr,
                                  /* cbSecret */ 0,
                                  /* dwFlags */ 0))) {
    return false;
  }
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    // A read error ends the stream like the end of the file does.
    if (!ReadFile(file, buffer.get(), kReadSize, &got, nullptr) || got == 0) break;
    if (!Succeeded(BCryptHashData(hash, buffer.get(), got, 0))) {
      ok = false;
      break;
    }
  }
  ok = ok && Succeeded(BCryptFinishHash(hash, digest, kDigestSize, 0));
  BCryptDestroyHash(hash);
  return ok;
}

}  // namespace

std::string HexLower(const unsigned char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0x0F];
  }
  return hex;
}

std::string FileSha256Hex(const std::wstring& path) {
  unsigned char digest[kDigestSize];
  {
    UniqueHandle file(CreateFileW(/* lpFileName */ path.c_str(),
                                  /* dwDesiredAccess */ GENERIC_READ,
                                  /* dwShareMode */ FILE_SHARE_READ,
                                  /* lpSecurityAttributes */ nullptr,
                                  /* dwCreationDisposition */ OPEN_EXISTING,
                                  /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                  /* hTemplateFile */ nullptr));
    if (!file || !HashFile(file.get(), digest)) return {};
  }
  return HexLower(digest, kDigestSize);
}
