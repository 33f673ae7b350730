// Address resolution, script extraction and page text decoding.
#include "PageRules.h"
#include "PageScripts.h"
#include "UrlResolve.h"

#include <gtest/gtest.h>

#include <random>

namespace murmella::webcontrol {
namespace {

TEST(UrlResolve, ReferencesAgainstAPage) {
  struct TCase {
    const char* Base;
    const char* Ref;
    const char* Expected;
  };
  // The reference resolution examples of RFC 3986 (section 5.4), then the ones pages use.
  const char* rfc = "http://a/b/c/d;p?q";
  const TCase cases[] = {
      {rfc, "g:h", "g:h"},
      {rfc, "g", "http://a/b/c/g"},
      {rfc, "./g", "http://a/b/c/g"},
      {rfc, "g/", "http://a/b/c/g/"},
      {rfc, "/g", "http://a/g"},
      {rfc, "//g", "http://g"},
      {rfc, "?y", "http://a/b/c/d;p?y"},
      {rfc, "g?y", "http://a/b/c/g?y"},
      {rfc, "#s", "http://a/b/c/d;p?q#s"},
      {rfc, "g#s", "http://a/b/c/g#s"},
      {rfc, ";x", "http://a/b/c/;x"},
      {rfc, "", "http://a/b/c/d;p?q"},
      {rfc, ".", "http://a/b/c/"},
      {rfc, "..", "http://a/b/"},
      {rfc, "../g", "http://a/b/g"},
      {rfc, "../..", "http://a/"},
      {rfc, "../../../g", "http://a/g"},
      {rfc, "/./g", "http://a/g"},
      {rfc, "/../g", "http://a/g"},
      {rfc, "g.", "http://a/b/c/g."},
      {rfc, "..g", "http://a/b/c/..g"},
      {rfc, "./../g", "http://a/b/g"},
      {rfc, "g/./h", "http://a/b/c/g/h"},
      {rfc, "g/../h", "http://a/b/c/h"},
      {rfc, "g;x=1/../y", "http://a/b/c/y"},
      {rfc, "g?y/./x", "http://a/b/c/g?y/./x"},
      {rfc, "g#s/../x", "http://a/b/c/g#s/../x"},
      {"http://127.0.0.1:8480", "pop.php", "http://127.0.0.1:8480/pop.php"},
      {"http://127.0.0.1:8480/pop.php", "  /disconnect.php \n", "http://127.0.0.1:8480/disconnect.php"},
      {"HTTP://Host/a", "b", "http://Host/b"},
      {"http://h/a", "HTTPS://other/x", "https://other/x"},
      // No base that gives a relative reference meaning, or text that is no address.
      {"", "pop.php", ""},
      {"about:blank", "pop.php", ""},
      {"not an address", "x", ""},
      {"http://h/a", "b\r\nHost: evil", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(ResolveUrl(c.Base, c.Ref), c.Expected) << c.Base << " + " << c.Ref;
}

TEST(PageRules, AddressesAndRedirects) {
  EXPECT_EQ(ClassifyAddress("http://127.0.0.1:8480/pop.php"), TAddressKind::Http);
  EXPECT_EQ(ClassifyAddress("HTTPS://example.org"), TAddressKind::Http);
  EXPECT_EQ(ClassifyAddress("About:Blank"), TAddressKind::Blank);
  for (const char* other : {"http:/nohost", "http://", "file:///c:/x", "javascript:alert(1)", "data:text/html,x",
                            "127.0.0.1:8480/pop.php", ""})
    EXPECT_EQ(ClassifyAddress(other), TAddressKind::Unsupported) << other;
  for (int s : {301, 302, 303, 307, 308}) EXPECT_TRUE(IsRedirectStatus(s)) << s;
  for (int s : {200, 300, 304, 305, 404, 500}) EXPECT_FALSE(IsRedirectStatus(s)) << s;
}

TEST(PageRules, RedirectsStayOnTheWebAndNeverLeaveTls) {
  struct TCase {
    const char* From;
    const char* To;
    bool Allowed;
  };
  const std::vector<TCase> cases = {
      {"http://a/x", "http://b/y", true},         {"http://a/x", "https://a/x", true},
      {"https://a/x", "https://b/y", true},       {"https://a/x", "http://a/x", false},
      {"HTTPS://a/x", "Http://a/x", false},       {"http://a/x", "file:///c:/windows/win.ini", false},
      {"https://a/x", "javascript:alert(1)", false}, {"http://a/x", "res://shell32.dll/1", false},
      {"http://a/x", "mk:@MSITStore:c:/x.chm::/a.htm", false}, {"http://a/x", "about:blank", false},
  };
  for (const TCase& c : cases) EXPECT_EQ(RedirectAllowed(c.From, c.To), c.Allowed) << c.From << " -> " << c.To;
}

std::vector<std::string> Texts(std::string_view html) {
  std::vector<std::string> t;
  for (const TInlineScript& s : ExtractInlineScripts(html)) t.push_back(s.Text);
  return t;
}

TEST(PageScripts, InlineJavaScriptInDocumentOrder) {
  struct TCase {
    const char* Name;
    const char* Html;
    std::vector<std::string> Expected;
  };
  const TCase cases[] = {
      {"plain", "<script>a()</script><p>x</p><SCRIPT>b()</SCRIPT >", {"a()", "b()"}},
      {"javascript types and languages",
       "<script type=text/javascript>a</script><script type='application/javascript; charset=utf-8'>b</script>"
       "<script language=\"JavaScript1.2\">c</script><script type=\"\">d</script>",
       {"a", "b", "c", "d"}},
      {"other languages and src left out",
       "<script type='text/vbscript'>a</script><script language=vbscript>b</script>"
       "<script src='x.js'>c</script><script type='text/template'>d</script><script>e</script>",
       {"e"}},
      {"comments are not markup", "<!-- <script>a</script> --><script>b</script><!-- unterminated <script>c",
       {"b"}},
      {"raw text elements", "<title><script>a</script></title><textarea><script>b</script></textarea>"
                            "<style>p{}</style><script>c</script>",
       {"c"}},
      {"a quoted '>' in an attribute", "<script data-x='a>b'>s</script>", {"s"}},
      {"end tag needs its name", "<script>if (a </scripts) x = '</div>';</script>",
       {"if (a </scripts) x = '</div>';"}},
      {"legacy comment wrapper", "<script>\n<!--\nhide();\n// -->\n</script>", {"hide();\n"}},
      {"unterminated script runs to the end", "<script>tail()", {"tail()"}},
      {"not a script tag", "<scripts>a</scripts><scriptx>b</scriptx>", {}},
      {"empty blocks skipped", "<script></script><script>x</script>", {"x"}},
  };
  for (const TCase& c : cases) EXPECT_EQ(Texts(c.Html), c.Expected) << c.Name;

  const auto lines = ExtractInlineScripts("<html>\n<script>a</script>\n\n<script>\n<!--\nb\n--></script>");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Line, 2u);
  EXPECT_EQ(lines[1].Line, 6u) << "the line of the first script line after the comment opener";
}

TEST(PageScripts, DecodingKeepsEveryByte) {
  EXPECT_EQ(DecodePageText("abc"), u"abc");
  EXPECT_EQ(DecodePageText("gr\xC3\xBC\xC3\x9F"), u"gr\u00FC\u00DF");
  EXPECT_EQ(DecodePageText("\xE2\x82\xAC"), u"\u20AC");
  EXPECT_EQ(DecodePageText("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(DecodePageText("caf\xE9"), u"caf\u00E9") << "Latin-1 byte";
  EXPECT_EQ(DecodePageText("\xC0\xAF"), u"\u00C0\u00AF") << "overlong form";
  EXPECT_EQ(DecodePageText("\xED\xA0\x80"), u"\u00ED\u00A0\u0080") << "encoded surrogate";
  EXPECT_EQ(DecodePageText("\xE2\x82"), u"\u00E2\u0082") << "cut short";
  // Random bytes: never throws, never loses a byte (each byte yields at most one unit and
  // every unit stands for at least one byte).
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(rng() % 64, '\0');
    for (char& b : bytes) b = static_cast<char>(rng());
    const std::u16string text = DecodePageText(bytes);
    EXPECT_LE(text.size(), bytes.size());
    EXPECT_GE(text.size() * 4, bytes.size());
  }
}

}  // namespace
}  // namespace murmella::webcontrol
