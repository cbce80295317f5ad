#include "check/file_bytes.h"

#include <windows.h>

#include "common/handles.h"

FileBytes ReadFileBytes(const std::wstring& path) {
  FileBytes file;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return file;
  file.exists = true;
  file.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (file.isFolder) return file;
  UniqueHandle handle(CreateFileW(/* lpFileName */ path.c_str(),
                                  /* dwDesiredAccess */ GENERIC_READ,
                                  /* dwShareMode */ FILE_SHARE_READ,
                                  /* lpSecurityAttributes */ nullptr,
                                  /* dwCreationDisposition */ OPEN_EXISTING,
                                  /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                  /* hTemplateFile */ nullptr));
  LARGE_INTEGER size = {};
  if (!handle || !GetFileSizeEx(handle.get(), &size)) return file;
  file.size = static_cast<uint64_t>(size.QuadPart);
  file.bytes.resize(static_cast<size_t>(file.size < kWholeFileLimit ? file.size : kWholeFileLimit));
  size_t got = 0;
  bool failed = false;
  while (got < file.bytes.size()) {
    DWORD read = 0;
    const DWORD want =
        static_cast<DWORD>(file.bytes.size() - got < 0x100000 ? file.bytes.size() - got : 0x100000);
    if (!ReadFile(handle.get(), file.bytes.data() + got, want, &read, nullptr)) failed = true;
    if (failed || read == 0) break;
    got += read;
  }
  file.readable = !failed;
  // A file that grew since its size was taken has more to give; one that
  // shrank ended early, without an error.
  char more = 0;
  DWORD extra = 0;
  const bool complete = !failed && file.size <= kWholeFileLimit && got == file.size;
  file.whole = complete && !(ReadFile(handle.get(), &more, 1, &extra, nullptr) && extra > 0);
  file.bytes.resize(got);
  return file;
}

bool IsFolderPresent(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
