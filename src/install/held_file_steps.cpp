#include "install/held_file_steps.h"

#include <windows.h>

#include "common/handles.h"

bool DeleteFileWhileHeld(const std::wstring& path, HeldFileBudget& budget) {
  return RetryWhileHeld(
      HeldFileStep::kDelete, path,
      [&] {
        if (DeleteFileW(path.c_str())) return true;
        // A read-only file refuses the delete with ACCESS_DENIED too, and
        // no wait changes that: said as what it is, it fails at once.
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        const bool readOnly =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
        SetLastError(error == ERROR_ACCESS_DENIED && readOnly ? ERROR_FILE_READ_ONLY : error);
        return false;
      },
      budget);
}

bool WaitUntilArchiveOpens(const std::wstring& path, HeldFileBudget& budget) {
  // 7-Zip reports a held archive as one it cannot open, and that failure
  // could not be told from a damaged archive afterwards; an open of our own,
  // as 7-Zip makes it, finds the hold first.
  return RetryWhileHeld(
      HeldFileStep::kUnpack, path,
      [&] {
        const UniqueHandle file(CreateFileW(/* lpFileName */ path.c_str(),
                                            /* dwDesiredAccess */ GENERIC_READ,
                                            /* dwShareMode */ FILE_SHARE_READ,
                                            /* lpSecurityAttributes */ nullptr,
                                            /* dwCreationDisposition */ OPEN_EXISTING,
                                            /* dwFlagsAndAttributes */ FILE_ATTRIBUTE_NORMAL,
                                            /* hTemplateFile */ nullptr));
        return static_cast<bool>(file);
      },
      budget);
}
