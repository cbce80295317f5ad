#include "net/file_sha256.h"

#include <windows.h>

#include <memory>
#include <new>

#include "common/handles.h"
#include "common/held_file_patience.h"
#include "net/sha256.h"

namespace {

constexpr DWORD kReadSize = 65536;

bool HashFile(HANDLE file, unsigned char (&digest)[kSha256Bytes]) {
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kReadSize]);
  if (!buffer) return false;
  Sha256Stream hash;
  for (;;) {
    DWORD got = 0;
    // A read error ends the stream like the end of the file does.
    if (!ReadFile(file, buffer.get(), kReadSize, &got, nullptr) || got == 0) break;
    if (!hash.Add(buffer.get(), got)) return false;
  }
  return hash.Finish(digest);
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
  unsigned char digest[kSha256Bytes];
  {
    UniqueHandle file;
    const auto open = [&] {
      file = UniqueHandle(CreateFileW(/* lpFileName */ path.c_str(),
                                      /* dwDesiredAccess */ GENERIC_READ,
                                      /* dwShareMode */ FILE_SHARE_READ,
                                      /* lpSecurityAttributes */ nullptr,
                                      /* dwCreationDisposition */ OPEN_EXISTING,
                                      /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                      /* hTemplateFile */ nullptr));
      return static_cast<bool>(file);
    };
    if (!RetryWhileHeld(HeldFileStep::kHash, path, open) || !HashFile(file.get(), digest)) {
      return {};
    }
  }
  return HexLower(digest, kSha256Bytes);
}
