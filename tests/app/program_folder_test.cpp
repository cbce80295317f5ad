#include "app/program_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(ProgramFolder, RemovesTheLastElement) {
  EXPECT_EQ(RemoveLastPathElement(L"C:\\Games\\Space Race\\play.exe"), L"C:\\Games\\Space Race");
  EXPECT_EQ(RemoveLastPathElement(L"C:\\play.exe"), L"C:\\");
  EXPECT_EQ(RemoveLastPathElement(L"\\\\server\\share\\play.exe"), L"\\\\server\\share");
  EXPECT_EQ(RemoveLastPathElement(L"play.exe"), L"");
}

TEST(ProgramFolder, LongPathsAreNotTruncated) {
  std::wstring deep = L"C:";
  while (deep.size() < 400) deep += L"\\a folder with a long name";
  EXPECT_EQ(RemoveLastPathElement(deep + L"\\play.exe"), deep);
}

TEST(ProgramFolder, ModulePathIsThisExecutable) {
  const std::wstring path = ModulePath();
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(_wcsicmp(path.substr(path.size() - 4).c_str(), L".exe"), 0);
  EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}
