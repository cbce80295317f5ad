#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A folder of this process under `parent` (the user's temporary folder when
// empty), made empty when created and removed with everything in it when
// destroyed, read-only files included.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& parent = L"");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // False when the folder could not be made; path() is then empty.
  bool ok() const { return !path_.empty(); }
  // Full path, without a trailing backslash.
  const std::wstring& path() const { return path_; }
  // GetLastError() of the failed creation; 0 when made (or no temporary folder).
  unsigned long error() const { return error_; }

 private:
  std::wstring path_;
  unsigned long error_ = 0;
};

// "<temporary folder>\nolm-check-<process id><suffix>": a name of this
// process for a file of its own; empty when there is no temporary folder.
std::wstring ProcessTempPath(const wchar_t* suffix);

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
