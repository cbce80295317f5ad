#include "app/program_folder.h"

#include <windows.h>

std::wstring ModulePath() {
  // A fixed MAX_PATH buffer silently truncates deep install folders; grow
  // until the whole path fits (the call fills the buffer when it is short).
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
    if (length == 0) return {};
    if (length < size) {
      path.resize(length);
      return path;
    }
    if (size >= 0x8000 * 2) return {};
    path.assign(path.size() * 2, L'\0');
  }
}

std::wstring RemoveLastPathElement(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) {
    // A bare drive ("C:") stays as it is; a bare file name leaves nothing.
    return (path.size() == 2 && path[1] == L':') ? path : std::wstring();
  }
  // Keep the separator of a root, so that "C:\x.exe" and "\x.exe" leave a
  // rooted folder rather than a drive-relative one.
  const bool isDriveRoot = slash == 2 && path[1] == L':';
  const bool isRoot = slash == 0;
  return path.substr(0, (isDriveRoot || isRoot) ? slash + 1 : slash);
}
