#pragma once

#include <string>

// A folder of this process under the user's temporary folder, made empty
// when created and removed with everything in it when destroyed, read-only
// files included.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // False when the folder could not be made; path() is then empty.
  bool ok() const { return !path_.empty(); }
  // Full path, without a trailing backslash.
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// Removes `path` and everything under it; a file left behind (held open by
// another process) is skipped, not reported.
void RemoveTree(const std::wstring& path);
