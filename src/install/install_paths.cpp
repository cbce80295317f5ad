#include "install/install_paths.h"

#include <windows.h>

std::wstring InstallDirectoryFor(const std::wstring& userProfile) {
  return userProfile + L"\\Nolm\\Launcher";
}

std::wstring InstallDirectory() {
  // Sized from the variable itself: a fixed MAX_PATH buffer would leave a
  // long profile path undefined. Unset reads as empty.
  std::wstring profile;
  DWORD size = GetEnvironmentVariableW(L"USERPROFILE", nullptr, 0);
  while (size > 0) {
    profile.assign(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile.data(), size);
    if (length < size) {
      profile.resize(length);
      break;
    }
    size = length;  // the variable grew in between; try again at its new size
  }
  if (size == 0) profile.clear();
  return InstallDirectoryFor(profile);
}

std::wstring ParentDirectory(const std::wstring& installDir) {
  const size_t slash = installDir.rfind(L'\\');
  return slash == std::wstring::npos ? installDir : installDir.substr(0, slash);
}

std::wstring ExtractorCommandLine(const std::wstring& installDir) {
  return L"\"" + installDir + kExtractorFile + L"\" x \"" + installDir + kArchiveFile + L"\" -o\"" +
         installDir + L"\" -y";
}

bool IsFilePresent(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsEntryPresent(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
