#include "check/diagnose/profile_scrub.h"

#include <gtest/gtest.h>

// A report names neither the user nor the machine, and stays readable when
// the user is called "User", as many machines' first account is.
TEST(WithoutUserNames, ReplacesThePathThenWholeNamesOnly) {
  const std::string text =
      "install: C:\\Users\\User\\Nolm\\Launcher\n"
      "json: \"C:\\\\users\\\\user\\\\Nolm\"\n"
      "proxy: User@PC-OF-USER:8080, for users of this machine, by user\n";
  EXPECT_EQ(WithoutUserNames(text, "C:\\Users\\User", "User", "PC-OF-USER"),
            "install: %USERPROFILE%\\Nolm\\Launcher\n"
            "json: \"%USERPROFILE%\\\\Nolm\"\n"
            "proxy: %USERNAME%@%COMPUTERNAME%:8080, for users of this machine, by %USERNAME%\n");
}
