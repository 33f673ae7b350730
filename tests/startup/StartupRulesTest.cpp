#include "StartupRules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace murmella::startup;

TEST(StartupRules, TrimControlDropsSpacesAndControlCharactersAtBothEndsOnly) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"True", "True"},          {"  True \t", "True"},      {"\r\n5\r\n", "5"},
      {std::string("\0x\x1f", 3), "x"}, {"a b", "a b"},     {" \x01 ", ""},
      {"", ""},                  {"\xE0t\xE9", "\xE0t\xE9"},  // 8-bit letters are text, not controls
  };
  for (const auto& c : cases) EXPECT_EQ(TrimControl(c.in), c.out) << '"' << c.in << '"';
}

TEST(StartupRules, StoredLinesSplitAtTheFirstFullStop) {
  const struct {
    const char* line;
    const char* component;  // null: the line is dropped
    const char* property;
  } cases[] = {
      {"chpopup.Checked", "chpopup", "Checked"},
      {"  duree . ItemIndex\t", "duree", "ItemIndex"},
      {"a.b.c", "a", "b.c"},
      {"noproperty", nullptr, nullptr},
      {".Checked", nullptr, nullptr},
      {"chpopup.", nullptr, nullptr},
      {" \t. ", nullptr, nullptr},
      {"", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    const auto got = SplitStoredLine(c.line);
    if (!c.component) {
      EXPECT_FALSE(got) << c.line;
      continue;
    }
    ASSERT_TRUE(got) << c.line;
    EXPECT_EQ(got->Component, c.component);
    EXPECT_EQ(got->Property, c.property);
  }
}

TEST(StartupRules, ProgramNamesComeFromThePathsFileName) {
  const struct {
    const char* path;
    const char* file;
    const char* base;
  } cases[] = {
      {"C:\\Program Files\\Murmella\\MurmellaChat.exe", "MurmellaChat.exe", "MurmellaChat"},
      {"C:\\Murmella\\murmellachat.EXE", "murmellachat.EXE", "murmellachat"},  // as named, not folded
      {"Z:/build/win64/startup.test.exe", "startup.test.exe", "startup.test"},
      {"D:Chat.exe", "Chat.exe", "Chat"},
      {"Chat", "Chat", "Chat"},
      {"C:\\dir.with.dots\\Chat", "Chat", "Chat"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgramFileName(c.path), c.file) << c.path;
    EXPECT_EQ(ProgramBaseName(c.path), c.base) << c.path;
  }
}

TEST(StartupRules, AutostartDataIsTheQuotedPath) {
  EXPECT_EQ(QuotedProgramPath("C:\\Program Files\\Murmella\\MurmellaChat.exe"),
            "\"C:\\Program Files\\Murmella\\MurmellaChat.exe\"");
  EXPECT_EQ(QuotedProgramPath("C:\\a.exe"), "\"C:\\a.exe\"");
}

TEST(StartupRules, KeyNamesLoseOuterBackslashes) {
  EXPECT_EQ(TrimBackslashes("\\\\Murmellachat\\"), "Murmellachat");
  EXPECT_EQ(TrimBackslashes("Software\\Murmella"), "Software\\Murmella");
  EXPECT_EQ(TrimBackslashes("\\"), "");
}
