// The page bridge's portable rules: which names the external object answers, and the notice.
#include "NoticeText.h"

#include <gtest/gtest.h>

namespace murmella::console {
namespace {

TEST(NoticeText, MethodNameInAnyCaseOfItsLettersOnly) {
  for (const char* name : {"pagesetup", "PAGESETUP", "PageSetup", "pAgEsEtUp"})
    EXPECT_TRUE(IsExternalMethodName(name)) << name;
  using namespace std::literals;
  for (std::string_view name : {"pagesetup "sv, " pagesetup"sv, "page_setup"sv, "pagesetu"sv, "pagesetupx"sv, ""sv,
                                "pagesetup\0"sv, "p\xC1gesetup"sv, "PAGESET\xDCP"sv})
    EXPECT_FALSE(IsExternalMethodName(name)) << name;
}

TEST(NoticeText, NameBetweenTheFixedPiecesUnescaped) {
  EXPECT_EQ(kNoticePrefix.size(), 45u);
  EXPECT_EQ(kNoticeSuffix.size(), 18u);
  EXPECT_EQ(ComposeNotice("Visitor7"), "<B>Murmellachat</B><br><FONT color=\"#FF0000\">Visitor7</FONT> is ONLINE.");
  EXPECT_EQ(ComposeNotice("<B>Bold</B>"),
            "<B>Murmellachat</B><br><FONT color=\"#FF0000\"><B>Bold</B></FONT> is ONLINE.");
  EXPECT_EQ(ComposeNotice(""), std::string(kNoticePrefix) + std::string(kNoticeSuffix));
}

}  // namespace
}  // namespace murmella::console
