#include "install/install_paths.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(InstallPaths, InstallDirectoryUnderTheProfile) {
  EXPECT_EQ(InstallDirectoryFor(L"C:\\Users\\Player One"),
            L"C:\\Users\\Player One\\Nolm\\Launcher");
  EXPECT_EQ(InstallDirectoryFor(L""), L"\\Nolm\\Launcher");
  EXPECT_EQ(ParentDirectory(L"C:\\Users\\P\\Nolm\\Launcher"), L"C:\\Users\\P\\Nolm");
  EXPECT_EQ(ParentDirectory(L"NoSeparator"), L"NoSeparator");
}

TEST(InstallPaths, ExtractorCommandLineQuotesEveryPath) {
  EXPECT_EQ(ExtractorCommandLine(L"C:\\Users\\A B\\Nolm\\Launcher"),
            L"\"C:\\Users\\A B\\Nolm\\Launcher\\lib\\7zr.exe\" x "
            L"\"C:\\Users\\A B\\Nolm\\Launcher\\temp\\launcher_install.7z\" "
            L"-o\"C:\\Users\\A B\\Nolm\\Launcher\" -y");
}

// The profile is read from the environment at its full length.
TEST(InstallPaths, LongAndMissingProfiles) {
  const std::wstring saved = [] {
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", buffer, 32768);
    return std::wstring(buffer, length);
  }();
  std::wstring longProfile = L"C:\\Users";
  while (longProfile.size() < 600) longProfile += L"\\a rather long folder name";
  SetEnvironmentVariableW(L"USERPROFILE", longProfile.c_str());
  EXPECT_EQ(InstallDirectory(), longProfile + L"\\Nolm\\Launcher");
  SetEnvironmentVariableW(L"USERPROFILE", nullptr);
  EXPECT_EQ(InstallDirectory(), L"\\Nolm\\Launcher");
  SetEnvironmentVariableW(L"USERPROFILE", saved.c_str());
}

TEST(InstallPaths, DirectoriesAreNotFiles) {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_FALSE(IsFilePresent(windows));
  EXPECT_TRUE(IsFilePresent(std::wstring(windows) + L"\\system32\\kernel32.dll"));
  EXPECT_FALSE(IsFilePresent(std::wstring(windows) + L"\\no such file.exe"));
}
