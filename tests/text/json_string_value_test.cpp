#include "text/json_string_value.h"

#include <gtest/gtest.h>

TEST(JsonStringValue, LayoutAroundTheColonDoesNotMatter) {
  EXPECT_EQ(JsonStringValue(R"({"game":"abc"})", "game"), "abc");
  EXPECT_EQ(JsonStringValue(R"({ "game" : "abc" })", "game"), "abc");
  EXPECT_EQ(JsonStringValue("{\n\t\"game\"\n\t:\n\t\"abc\"\n}", "game"), "abc");
  // Nothing between key and value is examined, not even junk.
  EXPECT_EQ(JsonStringValue(R"({"game" xx : yy "abc"})", "game"), "abc");
}

TEST(JsonStringValue, ColonIsSearchedFromTheKeysOpeningQuote) {
  // A colon inside the key itself is the one found; the "value" then runs
  // from the key's closing quote to the next quote.
  EXPECT_EQ(JsonStringValue(R"({"a:b": "v"})", "a:b"), ": ");
}

TEST(JsonStringValue, NonStringValueYieldsTheNextQuotedText) {
  EXPECT_EQ(JsonStringValue(R"({"game": 5, "name": "Foo"})", "game"), "name");
  EXPECT_EQ(JsonStringValue(R"({"game": 5})", "game"), "");
}

TEST(JsonStringValue, FirstOccurrenceWinsInAnyRole) {
  // "game" first appears as a value; the scan continues from there.
  EXPECT_EQ(JsonStringValue(R"({"name": "game", "x": "7", "game": "x"})", "game"), "7");
  EXPECT_EQ(JsonStringValue(R"({"inner": {"game": "nested"}, "game": "top"})", "game"), "nested");
  EXPECT_EQ(JsonStringValue(R"({"game": "one", "game": "two"})", "game"), "one");
}

TEST(JsonStringValue, EscapesAreNotInterpreted) {
  EXPECT_EQ(JsonStringValue(R"({"name": "a\"b"})", "name"), "a\\");
  EXPECT_EQ(JsonStringValue(R"({"name": "a\nb\u00e9"})", "name"), R"(a\nb\u00e9)");
}

TEST(JsonStringValue, EveryFailedSearchGivesEmpty) {
  EXPECT_EQ(JsonStringValue(R"({"game": "abc)", "game"), "");   // no closing quote
  EXPECT_EQ(JsonStringValue(R"({"game" "abc"})", "game"), "");  // no colon
  EXPECT_EQ(JsonStringValue(R"({"game": 12})", "game"), "");    // no quote after colon
  EXPECT_EQ(JsonStringValue(R"({"name": "x"})", "game"), "");   // missing key
  EXPECT_EQ(JsonStringValue(R"({"a": "x"})", ""), "");          // empty key never occurs
  EXPECT_EQ(JsonStringValue("", "game"), "");
  EXPECT_EQ(JsonStringValue(R"({"game": ""})", "game"), "");
}

TEST(JsonStringValue, KeysAreCaseSensitiveAndBytesAreKept) {
  EXPECT_EQ(JsonStringValue(R"({"Game": "abc"})", "game"), "");
  const std::string withNul("{\"name\": \"a\0b\"}", 15);
  EXPECT_EQ(JsonStringValue(withNul, "name"), std::string("a\0b", 3));
  EXPECT_EQ(JsonStringValue("\xEF\xBB\xBF{\"game\": \"bom\"}", "game"), "bom");
}
