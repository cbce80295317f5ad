#include "text/utf8_to_wide.h"

#include <gtest/gtest.h>

TEST(Utf8ToWide, ConvertsWellFormedText) {
  EXPECT_EQ(Utf8ToWide("abc"), L"abc");
  EXPECT_EQ(Utf8ToWide("\xC3\xA9"), std::wstring(1, wchar_t(0x00E9)));
  // U+1F600 needs a surrogate pair in UTF-16.
  const std::wstring pair = Utf8ToWide("\xF0\x9F\x98\x80");
  ASSERT_EQ(pair.size(), 2u);
  EXPECT_EQ(pair[0], wchar_t(0xD83D));
  EXPECT_EQ(pair[1], wchar_t(0xDE00));
}

TEST(Utf8ToWide, KeepsNulAndByteOrderMark) {
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(Utf8ToWide("\xEF\xBB\xBFx"), std::wstring(L"\xFEFFx"));
}

TEST(Utf8ToWide, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToWide("\xFF"), std::wstring(1, wchar_t(0xFFFD)));
  const std::wstring mixed = Utf8ToWide(
      "a\xFF"
      "b");
  ASSERT_EQ(mixed.size(), 3u);
  EXPECT_EQ(mixed[0], L'a');
  EXPECT_EQ(mixed[1], wchar_t(0xFFFD));
  EXPECT_EQ(mixed[2], L'b');
}

TEST(Utf8ToWide, EmptyInputGivesEmptyOutput) {
  EXPECT_EQ(Utf8ToWide(""), L"");
}
