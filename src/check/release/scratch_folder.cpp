#include "check/release/scratch_folder.h"

#include <windows.h>

#include "install/held_file_steps.h"

namespace {

// FindFirstFileW's handle is not a kernel handle: it closes with FindClose.
class UniqueFind {
 public:
  explicit UniqueFind(HANDLE find) : find_(find) {}
  UniqueFind(const UniqueFind&) = delete;
  UniqueFind& operator=(const UniqueFind&) = delete;
  ~UniqueFind() {
    if (find_ != INVALID_HANDLE_VALUE) FindClose(find_);
  }
  explicit operator bool() const { return find_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return find_; }

 private:
  HANDLE find_;
};

// Once every file in it is deleted, a folder that is still not empty holds a
// file that another process had open with delete sharing: it stays, delete
// pending, until that handle closes. That is a held file as much as a
// refused delete is, so it is waited for by the same rule.
bool RemoveFolderWhileHeld(const std::wstring& folder, HeldFileBudget& budget) {
  return RetryWhileHeld(
      HeldFileStep::kDelete, folder,
      [&] {
        if (RemoveDirectoryW(folder.c_str())) return true;
        if (GetLastError() == ERROR_DIR_NOT_EMPTY) SetLastError(ERROR_SHARING_VIOLATION);
        return false;
      },
      budget);
}

void ListInto(const std::wstring& root, const std::wstring& relative,
              std::vector<TreeEntry>& entries) {
  const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
  WIN32_FIND_DATAW found;
  const UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!find) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    TreeEntry entry;
    entry.relative = relative.empty() ? name : relative + L"\\" + name;
    entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size =
        entry.folder ? 0 : (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entries.push_back(entry);
    // `entry`, not the list's copy: the list grows while the folder is read.
    if (entry.folder && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      ListInto(root, entry.relative, entries);
    }
  } while (FindNextFileW(find.get(), &found));
}

}  // namespace

std::vector<TreeEntry> ListTree(const std::wstring& root) {
  std::vector<TreeEntry> entries;
  ListInto(root, L"", entries);
  return entries;
}

bool RemoveTree(const std::wstring& path, HeldFileBudget& budget) {
  const std::vector<TreeEntry> entries = ListTree(path);
  // Backwards, so that each folder is empty by the time it is removed.
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    const std::wstring full = path + L"\\" + entry->relative;
    // An archive may carry read-only files, which DeleteFileW refuses.
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (entry->folder) {
      RemoveFolderWhileHeld(full, budget);
    } else {
      DeleteFileWhileHeld(full, budget);
    }
  }
  RemoveFolderWhileHeld(path, budget);
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::wstring ProcessTempPath(const wchar_t* suffix) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(temp, length) + L"nolm-check-" + std::to_wstring(GetCurrentProcessId()) +
         suffix;
}

ScratchFolder::ScratchFolder(const std::wstring& parent) {
  // The process id keeps two checks running at once apart; a folder of that
  // name can only be a leftover of a process that is gone.
  const std::wstring path =
      parent.empty() ? ProcessTempPath(L"")
                     : parent + L"\\nolm-check-" + std::to_wstring(GetCurrentProcessId());
  if (path.empty()) return;
  if (!parent.empty() && GetFileAttributesW(parent.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryW(parent.c_str(), nullptr)) {
      error_ = GetLastError();
      return;
    }
    madeParent_ = parent;
  }
  RemoveTree(path, budget_);
  if (CreateDirectoryW(path.c_str(), nullptr)) {
    path_ = path;
  } else {
    error_ = GetLastError();
    if (!madeParent_.empty()) RemoveDirectoryW(madeParent_.c_str());
  }
}

ScratchFolder::~ScratchFolder() {
  Remove();
}

bool ScratchFolder::Remove() {
  if (!ok() || removed_) return true;
  removed_ = RemoveTree(path_, budget_);
  // Not while the scratch folder is left in it. What keeps it from going
  // now is most likely the scratch folder itself, delete pending.
  if (removed_ && !madeParent_.empty()) RemoveFolderWhileHeld(madeParent_, budget_);
  return removed_;
}
