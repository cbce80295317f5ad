#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/held_file_patience.h"

// A folder of this process under `parent` (the user's temporary folder when
// empty; `parent` is made for it when missing, one level only), made empty
// when created and removed with everything in it by Remove() or at the
// latest when destroyed, read-only files included, together with `parent`
// when this made it. Files that another process holds (security software
// reading what was just written) are waited for with a budget of the
// folder's own, kHeldFileBudgetMs in all.
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
  // GetLastError() of the failed creation (of `parent` when that failed); 0
  // when made (or no temporary folder).
  unsigned long error() const { return error_; }
  // `parent` as made for this folder; empty when it was there already.
  const std::wstring& madeParent() const { return madeParent_; }

  // Removes the folder now. True when it is gone (or was never made); false
  // when something in it stayed held past the budget, and stays. Blocks for
  // at most what is left of the budget; nothing waits when nothing is held.
  bool Remove();

 private:
  std::wstring path_;
  std::wstring madeParent_;
  unsigned long error_ = 0;
  bool removed_ = false;
  HeldFileBudget budget_;
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

// Removes `path` and everything under it, read-only files included, waiting
// for files another process holds while `budget` lasts. True when `path` is
// gone (or was never there); false when something stayed.
bool RemoveTree(const std::wstring& path, HeldFileBudget& budget);
