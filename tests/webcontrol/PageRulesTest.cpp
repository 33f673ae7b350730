// Address resolution, script extraction, the choice of a page's encoding and page text decoding.
#include "PageCharset.h"
#include "PageRules.h"
#include "PageScripts.h"
#include "UrlResolve.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>

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

TEST(PageCharset, ChoosingThePageEncoding) {
  using S = TCharsetSource;
  struct TCase {
    const char* Name;
    std::string ContentType;
    std::string Page;
    unsigned CodePage;
    S Source;
    std::size_t Skip = 0;
  };
  const std::string raw = "<script>external.log('\xE7\x8E\x8B\xE4\xBC\x9F')</script>";  // UTF-8
  const std::string cp1251 = "<script>external.log('\xC8\xE2\xE0\xED')</script>";      // not UTF-8
  const TCase cases[] = {
      {"header", "text/html; charset=windows-1251", cp1251, 1251, S::Header},
      {"header quoted, other case, spaced", "text/html;Charset = \"GBK\"", cp1251, 936, S::Header},
      {"header in single quotes", "text/html; charset='Shift_JIS'", raw, 932, S::Header},
      {"header wins over meta", "text/html; charset=koi8-r", "<meta charset=utf-8>" + raw, 20866, S::Header},
      {"header wins over valid UTF-8", "text/html; charset=iso-8859-1", raw, 1252, S::Header},
      {"unknown header label: meta decides", "text/html; charset=klingon", "<meta charset=big5>" + cp1251, 950,
       S::Meta},
      {"header without charset: sniffed", "text/html", raw, kUtf8CodePage, S::Utf8Bytes},
      {"charset inside another word is no parameter", "text/html; xcharsetx", cp1251, kSystemCodePage,
       S::SystemCodePage},
      {"meta charset", "", "<html><head><meta charset=\"windows-1251\">" + cp1251, 1251, S::Meta},
      {"meta charset in upper case, single quotes", "", "<META CHARSET='EUC-KR'>" + cp1251, 949, S::Meta},
      {"meta http-equiv", "",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">" + cp1251, 936, S::Meta},
      {"meta http-equiv, content first, other case", "",
       "<meta content='text/html;charset=KOI8-R' HTTP-EQUIV='content-type'>" + cp1251, 20866, S::Meta},
      {"meta content without http-equiv is not a label", "",
       "<meta name=x content='text/html; charset=koi8-r'>" + cp1251, kSystemCodePage, S::SystemCodePage},
      {"meta wins over valid UTF-8", "", "<meta charset=windows-1252>" + raw, 1252, S::Meta},
      {"meta naming UTF-16 means UTF-8", "", "<meta charset=utf-16>" + cp1251, kUtf8CodePage, S::Meta},
      {"unknown meta label: the next meta", "", "<meta charset=klingon><meta charset=koi8-u>" + cp1251, 21866,
       S::Meta},
      {"meta in a comment does not count", "", "<!-- <meta charset=koi8-r> -->" + raw, kUtf8CodePage,
       S::Utf8Bytes},
      {"meta inside another tag's attribute does not count", "",
       "<div title='<meta charset=koi8-r>'>" + raw, kUtf8CodePage, S::Utf8Bytes},
      {"meta past the prescan does not count", "",
       std::string(kCharsetPrescanBytes, ' ') + "<meta charset=koi8-r>" + raw, kUtf8CodePage, S::Utf8Bytes},
      {"<metadata> is not meta", "", "<metadata charset=koi8-r>" + raw, kUtf8CodePage, S::Utf8Bytes},
      {"valid UTF-8", "", raw, kUtf8CodePage, S::Utf8Bytes},
      {"plain ASCII", "", "<script>x()</script>", kUtf8CodePage, S::Utf8Bytes},
      {"invalid UTF-8: system code page", "", cp1251, kSystemCodePage, S::SystemCodePage},
      {"UTF-8 cut short at the end", "", "abc\xE7\x8E", kSystemCodePage, S::SystemCodePage},
      {"UTF-8 BOM wins over the header", "text/html; charset=windows-1251", "\xEF\xBB\xBF" + raw, kUtf8CodePage,
       S::ByteOrderMark, 3},
      {"UTF-16LE BOM", "text/html; charset=utf-8", std::string("\xFF\xFE<\0", 4), kUtf16LeCodePage,
       S::ByteOrderMark, 2},
      {"UTF-16BE BOM", "", std::string("\xFE\xFF\0<", 4), kUtf16BeCodePage, S::ByteOrderMark, 2},
      {"UTF-16 by header", "text/html; charset=utf-16be", std::string("\0<", 2), kUtf16BeCodePage, S::Header},
  };
  for (const TCase& c : cases) {
    const TPageEncoding e = ChoosePageEncoding(c.ContentType, c.Page);
    EXPECT_EQ(e.CodePage, c.CodePage) << c.Name;
    EXPECT_EQ(static_cast<int>(e.Source), static_cast<int>(c.Source)) << c.Name;
    EXPECT_EQ(e.Skip, c.Skip) << c.Name;
  }
}

TEST(PageCharset, LabelsAsBrowsersReadThem) {
  const std::pair<const char*, std::optional<unsigned>> cases[] = {
      {"utf-8", 65001},         {" UTF8 ", 65001},      {"iso-8859-1", 1252},   {"Latin1", 1252},
      {"us-ascii", 1252},       {"windows-1252", 1252}, {"windows-1251", 1251}, {"cp1250", 1250},
      {"windows-1256", 1256},   {"shift_jis", 932},     {"SJIS", 932},          {"gbk", 936},
      {"GB2312", 936},          {"gb18030", 54936},     {"big5", 950},          {"euc-kr", 949},
      {"ks_c_5601-1987", 949},  {"koi8-r", 20866},      {"utf-16le", 1200},     {"utf-16be", 1201},
      {"iso-8859-5", 28595},    {"tis-620", 874},       {"", std::nullopt},     {"utf-9", std::nullopt},
      {"windows-125", std::nullopt},
  };
  for (const auto& [label, cp] : cases) EXPECT_EQ(CodePageForLabel(label), cp) << label;
}

}  // namespace
}  // namespace murmella::webcontrol
