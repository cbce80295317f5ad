#pragma once

#include <cstdint>
#include <string>

// The whole file as a JSON reader would see it, up to kWholeFileLimit bytes.
struct FileBytes {
  bool exists = false;  // something, file or folder, is at the path
  bool isFolder = false;
  bool readable = false;  // opened, and no read failed
  // `bytes` is the whole file: it is not past kWholeFileLimit, no read
  // failed, and its length did not change while it was read.
  bool whole = false;
  uint64_t size = 0;  // the file's size in bytes when it was opened, however large
  std::string bytes;  // its first kWholeFileLimit bytes at most
};

// Far above any configuration file; bounds the memory a mistaken path costs.
inline constexpr uint64_t kWholeFileLimit = 16u << 20;

// Reads the file at `path`. Never fails: what went wrong shows in the fields.
FileBytes ReadFileBytes(const std::wstring& path);

// True when `path` names an existing folder.
bool IsFolderPresent(const std::wstring& path);
