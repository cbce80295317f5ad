#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// One entry under a folder.
struct TreeEntry {
  std::wstring relative;  // path below the folder, "Launcher-1.0\launcher.exe"
  bool folder = false;
  uint64_t size = 0;  // bytes, files only
};

// Every entry under `root` (not `root` itself), each folder listed before
// what it holds. A folder that is a link is listed but not entered. Empty
// when `root` cannot be read.
std::vector<TreeEntry> ListTree(const std::wstring& root);

// Removes `path` and everything under it; whatever cannot be removed (held
// open by another process) stays, unreported.
void RemoveTree(const std::wstring& path);
