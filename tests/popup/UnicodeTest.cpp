// The notice's text in UTF-8: conversions with a defined answer for ill-formed input, and the
// markup rules over text in any script.
#include "MarkupPrepare.h"
#include "MarkupRenderer.h"
#include "TestCanvas.h"
#include "Utf8Text.h"

#include <gtest/gtest.h>

namespace murmella::popup {
namespace {

using testing::TTestCanvas;

TEST(Utf8Text, WellFormedRoundTripsAndIllFormedPartsBecomeOneReplacementEach) {
  struct Case {
    const char* Name;
    std::string Utf8;
    std::u16string Utf16;
  } cases[] = {
      {"ascii", "Visitor7", u"Visitor7"},
      {"latin", "Zo\xC3\xAB \xC5\x81ukasz", u"Zo\u00EB \u0141ukasz"},
      {"chinese", "\xE7\x8E\x8B\xE4\xBC\x9F", u"\u738B\u4F1F"},
      {"emoji, a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"last code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"stray continuation", "a\x80" "b", u"a\uFFFDb"},
      {"cut short before ascii", "\xE7\x8E" "a", u"\uFFFDa"},
      {"cut short at the end", "a\xF0\x9F\x98", u"a\uFFFD"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"never a lead byte", "\xF5\xFF", u"\uFFFD\uFFFD"},
      {"windows-1252 byte", "caf\xE9", u"caf\uFFFD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text::Utf8ToUtf16(c.Utf8), c.Utf16) << c.Name;
    const bool wellFormed = c.Utf16.find(text::kReplacementChar) == std::u16string::npos;
    if (wellFormed) {
      EXPECT_EQ(text::Utf16ToUtf8(c.Utf16), c.Utf8) << c.Name;
    }
  }
  EXPECT_EQ(text::Utf16ToUtf8(u"a\xD800" u"b\xDC00"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD") << "unpaired surrogates";
}

struct Painted {
  TTestCanvas Canvas;
  TMarkupRenderResult Out;
  Painted(std::string_view markup, int width = 4000) {
    TMarkupRenderInput in;
    in.Markup = markup;
    in.Bounds = {0, 0, width, 4000};
    RenderMarkup(Canvas, in, Out);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& r : Canvas.Runs) t.push_back(r.Shown);
    return t;
  }
};

// Each rule of the markup over text in other scripts: what is drawn, in which runs.
TEST(UnicodeMarkup, RulesHoldForTextInAnyScript) {
  using V = std::vector<std::string>;
  struct Case {
    const char* Name;
    std::string Markup;
    V Runs;
  } cases[] = {
      {"ascii as ever", "Tom &amp; Jerry", V{"Tom ", "& ", "Jerry"}},
      {"words break at spaces", "Zo\xC3\xAB \xE7\x8E\x8B\xE4\xBC\x9F \xC5\x81ukasz",
       V{"Zo\xC3\xAB ", "\xE7\x8E\x8B\xE4\xBC\x9F ", "\xC5\x81ukasz"}},
      {"tags around a name", "<B>\xE7\x8E\x8B\xE4\xBC\x9F</B>!", V{"\xE7\x8E\x8B\xE4\xBC\x9F", "!"}},
      {"entities give their characters", "&euro;5 &copy;&reg;&trade;&sect;&para;&permil;",
       V{"\xE2\x82\xAC" "5 ", "\xC2\xA9\xC2\xAE\xE2\x84\xA2\xC2\xA7\xC2\xB6\xE2\x80\xB0"}},
      {"run entities next to wide text", "\xE7\x8E\x8B&nbsp;\xE4\xBC\x9F&lt;", V{"\xE7\x8E\x8B \xE4\xBC\x9F<"}},
      {"ill-formed bytes are replaced", "a\xFF" "b <I>\xE7\x8E</I>", V{"a\xEF\xBF\xBD" "b ", "\xEF\xBF\xBD"}},
      {"an emoji stays whole", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80 x", V{"\xF0\x9F\x98\x80\xF0\x9F\x98\x80 ", "x"}},
      {"right-to-left words stay one run", "<B>Hi</B> \xD9\x85\xD8\xAD\xD9\x85\xD8\xAF \xD8\xB9\xD9\x84\xD9\x8A x<BR>y",
       V{"Hi", " \xD9\x85\xD8\xAD\xD9\x85\xD8\xAF \xD8\xB9\xD9\x84\xD9\x8A x", "y"}},
      {"hebrew too", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D",
       V{"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D"}},
  };
  for (const Case& c : cases) {
    Painted p(c.Markup);
    EXPECT_EQ(p.Texts(), c.Runs) << c.Name;
    EXPECT_EQ(p.Canvas.SplitSurrogates, 0) << c.Name;
  }
}

// A character is one character wide whatever its length in bytes or UTF-16 units, and a line
// breaks only between words: never inside a character, however narrow the box.
TEST(UnicodeMarkup, WidthsCountCharactersAndNarrowBoxesNeverSplitOne) {
  const std::string chinese = "\xE7\x8E\x8B\xE4\xBC\x9F";
  EXPECT_EQ(Painted(chinese).Out.ContentWidth, 2 * 4 + 2);
  EXPECT_EQ(Painted("\xF0\x9F\x98\x80").Out.ContentWidth, 1 * 4 + 2);
  std::string name;
  for (int i = 0; i < 30; ++i) name += "\xF0\x9F\x98\x80" + chinese + " ";
  Painted narrow(name, 1 + 4 * 4 + 1);  // room for one word: the emoji, two characters and a space
  ASSERT_EQ(narrow.Canvas.Runs.size(), 30u);
  for (const auto& r : narrow.Canvas.Runs) EXPECT_EQ(r.Shown, "\xF0\x9F\x98\x80" + chinese + " ");
  EXPECT_EQ(narrow.Canvas.SplitSurrogates, 0);
  EXPECT_EQ(narrow.Out.ContentHeight, 30 * 13) << "one word a line";
}

TEST(UnicodeMarkup, LinksOverWideTextAreHitWhereTheyAreDrawn) {
  const std::string markup = "\xD0\x91\xD0\xBE\xD1\x80\xD0\xB8\xD1\x81 <A href=\"\xE7\x8E\x8B\">\xE7\x8E\x8B\xE4\xBC\x9F</A>";
  TTestCanvas canvas;
  TMarkupRenderInput in;
  in.Markup = markup;
  in.Bounds = {0, 0, 400, 400};
  in.HitMode = true;
  TMarkupRenderResult out;
  in.Point = {1 + 6 * 4 + 3, 5};  // past "Борис " (six characters), on the link
  EXPECT_TRUE(RenderMarkup(canvas, in, out));
  EXPECT_EQ(out.HitTarget, "\xE7\x8E\x8B");
  EXPECT_EQ(out.HitRect, (TRect{25, 0, 33, 13}));
  in.Point = {1 + 5 * 4 - 1, 5};
  EXPECT_FALSE(RenderMarkup(canvas, in, out)) << "over the Cyrillic word";
}

}  // namespace
}  // namespace murmella::popup
