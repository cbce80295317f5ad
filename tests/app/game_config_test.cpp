#include "app/game_config.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using testing_support::TempFolder;
using testing_support::WriteBytes;

TEST(GameSlug, AcceptsLettersDigitsUnderscoreAndHyphenUpTo64Bytes) {
  EXPECT_TRUE(IsValidGameSlug("a"));
  EXPECT_TRUE(IsValidGameSlug("My_Game-2"));
  EXPECT_TRUE(IsValidGameSlug(std::string(64, 'x')));
  EXPECT_FALSE(IsValidGameSlug(""));
  EXPECT_FALSE(IsValidGameSlug(std::string(65, 'x')));
  for (const char* bad : {"my game", "my.game", "caf\xC3\xA9", "a/b", "a\"b", "a\\b", "\xFF"}) {
    EXPECT_FALSE(IsValidGameSlug(bad)) << bad;
  }
}

TEST(GameConfig, EmptyTextIsValidWithoutSlug) {
  const GameConfig config = EvaluateConfig("");
  EXPECT_TRUE(config.valid);
  EXPECT_EQ(config.slug, L"");
  EXPECT_EQ(config.displayName, L"");
}

TEST(GameConfig, ValidConfigurationGivesSlugAndName) {
  const GameConfig config = EvaluateConfig(
      "\xEF\xBB\xBF{\"game\": \"space-race\", \"name\": \"Space R\xC3\xA9"
      "ce\"}");
  EXPECT_TRUE(config.valid);
  EXPECT_EQ(config.slug, L"space-race");
  EXPECT_EQ(config.displayName, L"Space R\u00e9ce");
}

TEST(GameConfig, AnyTextWithoutAGoodSlugIsInvalid) {
  EXPECT_FALSE(EvaluateConfig(R"({"name": "Only a name"})").valid);
  EXPECT_FALSE(EvaluateConfig(R"({"game": ""})").valid);
  EXPECT_FALSE(EvaluateConfig(R"({"game": "has space"})").valid);
  EXPECT_FALSE(EvaluateConfig("not json at all").valid);
  // UTF-16 text: the quoted ASCII key is never found.
  EXPECT_FALSE(EvaluateConfig(std::string("{\0\"\0g\0a\0m\0e\0\"\0", 14)).valid);
}

TEST(ConfigFile, MissingOrEmptyFileGivesEmptyText) {
  TempFolder folder;
  EXPECT_EQ(ReadConfigText((folder.path() / "absent.json").wstring()), "");
  WriteBytes(folder.path() / "empty.json", "");
  EXPECT_EQ(ReadConfigText((folder.path() / "empty.json").wstring()), "");
  // A directory cannot be read as a file.
  EXPECT_EQ(ReadConfigText(folder.path().wstring()), "");
}

TEST(ConfigFile, ReadsWholeSmallFilesAndStopsAtTheLimit) {
  TempFolder folder;
  const std::string small = R"({"game": "abc"})";
  WriteBytes(folder.path() / "small.json", small);
  EXPECT_EQ(ReadConfigText((folder.path() / "small.json").wstring()), small);

  // 70000 bytes with the key past byte 65536: cut at the limit, so invalid.
  std::string big(70000, ' ');
  big.replace(66000, 15, R"({"game": "abc"})");
  WriteBytes(folder.path() / "big.json", big);
  const std::string text = ReadConfigText((folder.path() / "big.json").wstring());
  EXPECT_EQ(text.size(), kConfigTextLimit);
  EXPECT_FALSE(EvaluateConfig(text).valid);

  // A key just inside the limit is still seen.
  std::string edge(70000, ' ');
  edge.replace(kConfigTextLimit - 15, 15, R"({"game": "abc"})");
  WriteBytes(folder.path() / "edge.json", edge);
  EXPECT_EQ(EvaluateConfig(ReadConfigText((folder.path() / "edge.json").wstring())).slug, L"abc");
}

TEST(ConfigFile, FileLockedAgainstReadingGivesEmptyText) {
  TempFolder folder;
  const auto path = folder.path() / "locked.json";
  WriteBytes(path, R"({"game": "abc"})");
  HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadConfigText(path.wstring()), "");
  CloseHandle(exclusive);
}
