// The tray's memory of visitors: how many, in what order, and the tip and menu texts cut
// without parting a character.
#include "RecentVisitors.h"

#include <gtest/gtest.h>

using namespace murmella::console;

namespace {

const std::u16string kMixed = u"Zo\u00EB \u738B\u4F1F \u0141ukasz";
const std::u16string kEmoji = u"\U0001F600";  // two UTF-16 units

TEST(RecentVisitors, KeepsTheLastTenNewestFirstAndIgnoresEmptyNames) {
  TRecentVisitors recent;
  EXPECT_TRUE(recent.NewestFirst().empty());
  recent.Add(u"", 9, 0);
  EXPECT_TRUE(recent.NewestFirst().empty());
  for (int i = 0; i < 13; ++i) recent.Add(u"v" + std::u16string(1, char16_t(u'a' + i)), 10, i);
  ASSERT_EQ(recent.NewestFirst().size(), 10u);
  EXPECT_EQ(recent.NewestFirst().front().Name, u"vm");
  EXPECT_EQ(recent.NewestFirst().front().Minute, 12);
  EXPECT_EQ(recent.NewestFirst().back().Name, u"vd") << "the three oldest are gone";
  recent.Add(std::u16string(1023, u'h') + kEmoji + std::u16string(5000, u'h'), 11, 0);
  EXPECT_EQ(recent.NewestFirst().front().Name, std::u16string(1023, u'h')) << "kept short, the emoji whole or not at all";
}

TEST(RecentVisitors, TipNamesTheLatestAndIsCutAtACharacterBoundary) {
  TRecentVisitors recent;
  EXPECT_EQ(VisitorTip(u"Murmellachat", recent), u"Murmellachat");
  recent.Add(u"first", 8, 5);
  recent.Add(kMixed, 14, 32);
  EXPECT_EQ(VisitorTip(u"Murmellachat", recent), u"MurmellaChat - " + kMixed + u", 14:32");

  const std::u16string prefix = u"MurmellaChat - ";
  struct Case {
    std::u16string name;
    std::size_t size;  // of the tip
  } cases[] = {
      {std::u16string(100, u'x'), 63},
      // The 63rd unit would be the first half of an emoji: the tip stops before it.
      {std::u16string(47, u'x') + kEmoji + u"y", 62},
      {std::u16string(46, u'x') + kEmoji + u"y", 63},
      {std::u16string(41, u'x'), 63},  // name, comma, space and time exactly fill it
  };
  for (const Case& c : cases) {
    recent.Add(c.name, 23, 59);
    const std::u16string tip = VisitorTip(u"Murmellachat", recent);
    EXPECT_EQ(tip.size(), c.size) << c.name.size();
    EXPECT_EQ(tip.substr(0, prefix.size()), prefix);
    EXPECT_FALSE(tip.back() >= 0xD800 && tip.back() <= 0xDBFF);
  }
  EXPECT_EQ(VisitorTip(u"Murmellachat", recent), prefix + std::u16string(41, u'x') + u", 23:59");
}

TEST(RecentVisitors, MenuCaptions) {
  struct Case {
    std::u16string name;
    int hour, minute;
    std::u16string caption;
  } cases[] = {
      {kMixed, 14, 32, u"14:32  " + kMixed},
      {u"Tom & Jerry", 0, 7, u"00:07  Tom && Jerry"},
      {u"a\tb\nc", 9, 0, u"09:00  a b c"},
      {std::u16string(40, u'n'), 1, 2, u"01:02  " + std::u16string(40, u'n')},
      {std::u16string(41, u'n'), 1, 2, u"01:02  " + std::u16string(40, u'n') + u"\u2026"},
      {std::u16string(39, u'n') + kEmoji, 1, 2, u"01:02  " + std::u16string(39, u'n') + u"\u2026"},
  };
  for (const Case& c : cases) EXPECT_EQ(VisitorMenuCaption({c.name, c.hour, c.minute}), c.caption);
}

}  // namespace
