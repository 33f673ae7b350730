// Lenient value reading, markup preparation and the local-path rule.
#include "LocalPath.h"
#include "MarkupPrepare.h"
#include "MarkupValues.h"
#include "PictureContainer.h"

#include <gtest/gtest.h>

#include <random>

namespace murmella::popup {
namespace {

TEST(Values, LenientNumbers) {
  EXPECT_EQ(ReadNumberValue("  42"), 42);
  EXPECT_EQ(ReadNumberValue("-12"), -12);
  EXPECT_EQ(ReadNumberValue("-12px"), 12) << "sign dropped when reading stopped early";
  EXPECT_EQ(ReadNumberValue("$1F"), 31);
  EXPECT_EQ(ReadNumberValue("x10"), 16);
  EXPECT_EQ(ReadNumberValue("0x10"), 16);
  EXPECT_EQ(ReadNumberValue("0X10"), 0) << "hexadecimal only after $, x, X or 0x";
  EXPECT_EQ(ReadNumberValue("10h"), 10);
  EXPECT_EQ(ReadNumberValue(""), 0);
  EXPECT_EQ(ReadNumberValue("abc"), 0);
  EXPECT_EQ(ReadNumberValue("99999999999999999999"), 2147483647);
  EXPECT_TRUE(ReadNumber("12").Complete);
  EXPECT_FALSE(ReadNumber("12 ").Complete);
  EXPECT_FALSE(ReadNumber("").Complete);
}

TEST(Values, Colours) {
  TColor c = 1;
  EXPECT_FALSE(ReadColor("", c));
  EXPECT_TRUE(ReadColor("#102030", c));
  EXPECT_EQ(c, 0x302010u);
  EXPECT_TRUE(ReadColor("#FF", c));
  EXPECT_EQ(c, 0xFFu) << "missing pairs count 0";
  EXPECT_TRUE(ReadColor("CLBTNFACE", c));
  EXPECT_EQ(c, 0x8000000Fu);
  EXPECT_TRUE(ReadColor("nosuch", c));
  EXPECT_EQ(c, clBlack);
}

TEST(Values, AttributeLookup) {
  EXPECT_EQ(AttributeValue(" src=\"a.gif\" width=\"3\"", "WIDTH"), "3");
  EXPECT_EQ(AttributeValue(" bgcolorto=\"#1\" bgcolor=\"#2\"", "BGCOLOR"), "#1") << "plain substring search";
  EXPECT_EQ(AttributeValue(" width=3", "width"), "");
  EXPECT_EQ(FirstQuotedValue(" href=\"x y\">"), "x y");
}

TEST(Values, MulDivAndRounding) {
  EXPECT_EQ(MulDiv(16, 120, 96), 20);
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
}

// The rule as written: each repetition replaces the first occurrence of each entity. The
// characters are those of Windows-1252's A7, 89, AE, A9, B6, 99 and 80, in UTF-8.
std::string NaiveEntities(std::string s) {
  static const std::pair<const char*, const char*> table[] = {
      {"&amp;", "&&"}, {"&quot;", "\""}, {"&sect;", "§"}, {"&permil;", "‰"}, {"&reg;", "®"},
      {"&copy;", "©"}, {"&para;", "¶"}, {"&trade;", "™"}, {"&euro;", "€"}};
  for (;;) {
    bool any = false;
    for (auto [from, to] : table) {
      std::size_t at = FindNoCase(s, from);
      if (at == std::string::npos) continue;
      s.replace(at, std::string_view(from).size(), to);
      any = true;
    }
    if (!any) return s;
  }
}

TEST(Prepare, EntitiesMatchTheRepetitionRule) {
  EXPECT_EQ(PrepareMarkup("&AMP;&Quot;&euro;&amp;amp;").Text, "&&\"€&&&");
  std::mt19937 rng(7);
  const char* pieces[] = {"&", "amp;", "quot;", "a", ";", "&amp;", "AMP", "&sect;", "&co", "py;", "<", " "};
  for (int i = 0; i < 3000; ++i) {
    std::string s;
    const int n = rng() % 12;
    for (int k = 0; k < n; ++k) s += pieces[rng() % std::size(pieces)];
    std::string fast = s;
    ReplaceEntities(fast);
    ASSERT_EQ(fast, NaiveEntities(s)) << s;
  }
}

TEST(Prepare, HostileEntityCountStaysLinear) {
  std::string s;
  for (int i = 0; i < 200000; ++i) s += (i % 2) ? "&quot;" : "&amp;";
  ReplaceEntities(s);  // would take minutes with the rule followed literally
  EXPECT_EQ(s.size(), 100000u * 3);
}

TEST(Prepare, PrefixHashAndLineEnds) {
  EXPECT_FALSE(PrepareMarkup("a & b").Prefix);
  EXPECT_TRUE(PrepareMarkup("a &b").Prefix);
  EXPECT_EQ(PrepareMarkup("x<#A>y<#B>").Text, "x#Ay<#B>");
  EXPECT_EQ(PrepareMarkup("a\r\nb\nc").Text, "a<BR>bc");
  EXPECT_EQ(ReplaceRunEntities("&nbsp;&lt;&gt;&NBSP;"), " <>&NBSP;");
}

TEST(LocalPath, NetworkAndDeviceFormsAreRefused) {
  for (const char* p : {"\\\\server\\share\\a.gif", "//server/share/a.gif", "\\/server/share", "/\\server\\share",
                        "\\\\?\\UNC\\server\\share\\a.gif", "\\\\?\\C:\\a.gif", "\\\\.\\pipe\\x", "\\??\\UNC\\s\\x",
                        "//?/UNC/server/x", "file://server/share/a.gif", "FILE:////server/a", "http://host/a.gif",
                        " \\\\server\\x", "C:\\dir\\a.gif:stream", "COM1", "c:\\x\\NUL.gif", "lpt1.txt", "CON",
                        "a\tb", ""})
    EXPECT_FALSE(IsPlainLocalPath(p)) << p;
  for (const char* p : {"C:\\pictures\\a.gif", "c:/pictures/a.gif", "a.gif", "..\\a.gif", "\\windows\\a.bmp",
                        "console.gif", "com10.gif"})
    EXPECT_TRUE(IsPlainLocalPath(p)) << p;
}

TEST(LocalPath, ShortcutLikeFilesAreKnownInEverySpelling) {
  for (const char* n : {"a.lnk", "C:\\x\\A.LNK", "c:/x/y.Url", "old.pif", "Show Desktop.scf", "Docs.library-ms",
                        "s.searchConnector-ms", "C:\\share\\desktop.ini", "Desktop.INI", "a.lnk.", "a.lnk . ",
                        "dir/x.url  "})
    EXPECT_TRUE(NamesShortcutLikeFile(n)) << n;
  for (const char* n : {"a.txt", "lnk", "a.lnkx", "x.url.txt", "notdesktop.ini", "desktop.ini.bak", "a.exe", ""})
    EXPECT_FALSE(NamesShortcutLikeFile(n)) << n;
}

TEST(Gif, HeaderFramesAndFirstFramePosition) {
  TBytes gif = {'G', 'I', 'F', '8', '9', 'a', 40, 0, 30, 1, 0x80, 0, 0};
  gif.insert(gif.end(), 6, 0);  // two-colour global table
  for (int f = 0; f < 2; ++f) {
    const TBytes gce = {0x21, 0xF9, 0x04, 0, 0, 0, 0, 0, 0x2C, 5, 0, 7, 0, 1, 0, 1, 0, 0};
    gif.insert(gif.end(), gce.begin(), gce.end());
  }
  const TGifInfo g = ReadGifInfo(gif);
  EXPECT_TRUE(g.IsGif);
  EXPECT_EQ(g.LogicalWidth, 40);
  EXPECT_EQ(g.LogicalHeight, 286);
  EXPECT_EQ(g.FrameCount, 2);
  EXPECT_EQ(g.FirstFrame, (TPoint{5, 7}));
  for (std::size_t n = 0; n < gif.size(); ++n) ReadGifInfo(TBytes(gif.begin(), gif.begin() + n));  // truncations
  EXPECT_FALSE(ReadGifInfo({'G', 'I', 'F'}).IsGif);
}

}  // namespace
}  // namespace murmella::popup
