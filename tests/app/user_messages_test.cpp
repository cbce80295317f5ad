#include "app/user_messages.h"

#include <gtest/gtest.h>

TEST(UserMessages, FrenchForEverySubLanguageOfFrench) {
  EXPECT_TRUE(IsFrenchLanguage(0x040C));   // France
  EXPECT_TRUE(IsFrenchLanguage(0x0C0C));   // Canada
  EXPECT_TRUE(IsFrenchLanguage(0x080C));   // Belgium
  EXPECT_TRUE(IsFrenchLanguage(0x100C));   // Switzerland
  EXPECT_FALSE(IsFrenchLanguage(0x0409));  // English
  EXPECT_FALSE(IsFrenchLanguage(0x0407));  // German
  // Only the low 10 bits name the language: 0x0C with other high bits is not French.
  EXPECT_FALSE(IsFrenchLanguage(0x0C0D));
}

TEST(UserMessages, TextsAreExact) {
  using enum UserMessage;
  EXPECT_STREQ(UserMessageText(kInvalidConfiguration, false),
               L"Invalid configuration: nolm/config.json must contain {\"game\": \"<slug>\"}.");
  EXPECT_STREQ(UserMessageText(kInvalidConfiguration, true),
               L"Configuration invalide : nolm/config.json doit contenir {\"game\": \"<slug>\"}.");
  EXPECT_STREQ(
      UserMessageText(kInstallFailed, false),
      L"Unable to install the Nolm Launcher.\nCheck your internet connection and try again.");
  EXPECT_STREQ(UserMessageText(kInstallFailed, true),
               L"Impossible d'installer le Nolm Launcher.\n"
               L"V\u00e9rifiez votre connexion internet puis r\u00e9essayez.");
  EXPECT_STREQ(UserMessageText(kStartFailed, false), L"Unable to start the Nolm Launcher.");
  EXPECT_STREQ(UserMessageText(kStartFailed, true), L"Impossible de lancer le Nolm Launcher.");
}

TEST(UserMessages, LineBreaksAreLoneLineFeeds) {
  for (bool french : {false, true}) {
    const std::wstring text = UserMessageText(UserMessage::kInstallFailed, french);
    EXPECT_EQ(text.find(L'\r'), std::wstring::npos);
    EXPECT_NE(text.find(L'\n'), std::wstring::npos);
  }
}
