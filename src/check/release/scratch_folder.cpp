#include "check/release/scratch_folder.h"

#include <windows.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

void RemoveTree(const std::wstring& path) {
  std::error_code ignored;
  // An archive may carry read-only files, which DeleteFileW refuses.
  for (fs::recursive_directory_iterator entry(path, ignored), end; !ignored && entry != end;
       entry.increment(ignored)) {
    SetFileAttributesW(entry->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  fs::remove_all(path, ignored);
}

ScratchFolder::ScratchFolder() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return;
  // The process id keeps two checks running at once apart; a folder of that
  // name can only be a leftover of a process that is gone.
  const std::wstring path =
      std::wstring(temp, length) + L"nolm-check-" + std::to_wstring(GetCurrentProcessId());
  RemoveTree(path);
  if (CreateDirectoryW(path.c_str(), nullptr)) path_ = path;
}

ScratchFolder::~ScratchFolder() {
  if (ok()) RemoveTree(path_);
}
