#include "app/launch_worker.h"

#include <gtest/gtest.h>

TEST(LauncherCommandLine, QuotedPathThenGameOption) {
  EXPECT_EQ(LauncherCommandLine(L"C:\\Users\\A B\\Nolm\\Launcher\\launcher.exe", L"space-race"),
            L"\"C:\\Users\\A B\\Nolm\\Launcher\\launcher.exe\" --game=space-race");
}

TEST(LauncherCommandLine, NoOptionWithoutSlug) {
  EXPECT_EQ(LauncherCommandLine(L"C:\\L\\launcher.exe", L""), L"\"C:\\L\\launcher.exe\"");
}
