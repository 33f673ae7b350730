#include "ChatPages.h"
#include "ChatService.h"

#include <gtest/gtest.h>

#include <thread>

namespace murmella::service {
namespace {

TEST(ChatPages, NamesBecomeAsciiLiteralsThatCannotLeaveTheScript) {
  struct Case {
    std::string name, literal;
  } cases[] = {
      {"Visitor7", "\"Visitor7\""},
      {"", "\"\""},
      {"</script><b>x</b>", "\"\\u003C\\u002Fscript\\u003E\\u003Cb\\u003Ex\\u003C\\u002Fb\\u003E\""},
      {"a\"b'c\\d&e", "\"a\\u0022b\\u0027c\\u005Cd\\u0026e\""},
      {"l1\nl2\r\t", "\"l1\\u000Al2\\u000D\\u0009\""},
      {"Jos\xC3\xA9", "\"Jos\\u00E9\""},                        // UTF-8
      {"\xE2\x80\xA8", "\"\\u2028\""},                          // a JavaScript line break
      {"\xF0\x9F\x98\x80", "\"\\uD83D\\uDE00\""},               // beyond the BMP: a surrogate pair
      {"Jos\xE9", "\"Jos\\u00E9\""},                            // a stray byte, as Latin-1
      {"\xED\xA0\x80", "\"\\u00ED\\u00A0\\u0080\""},            // an encoded surrogate is no character
      {"\xC0\xAF", "\"\\u00C0\\u00AF\""},                       // nor is an overlong form
  };
  for (const Case& c : cases) EXPECT_EQ(JsStringLiteral(c.name), c.literal) << c.name;
}

TEST(ChatPages, PresencePageReloadsItselfAndReportsEachVisitorOnce) {
  const std::string empty = PresencePage({}, 1000);
  EXPECT_NE(empty.find("setTimeout(function () { location.reload(); }, 1000);"), std::string::npos);
  EXPECT_EQ(empty.find("external"), std::string::npos);
  const std::string two = PresencePage({"Ann", "Bob"}, 250);
  EXPECT_NE(two.find("}, 250);"), std::string::npos);
  const size_t ann = two.find("window.external.pagesetup(\"Ann\");");
  const size_t bob = two.find("window.external.pagesetup(\"Bob\");");
  ASSERT_NE(ann, std::string::npos);
  ASSERT_NE(bob, std::string::npos);
  EXPECT_LT(ann, bob);
  // The reload is set before the calls, so a failing call cannot stop it.
  EXPECT_LT(two.find("location.reload"), ann);
}

TEST(ChatService, QueuesVisitorsForTheNextPresencePageServesTestPagesAndLogsWhatItServed) {
  ChatService service(700);
  const int port = service.Bind(0);
  ASSERT_GT(port, 0);
  std::thread server([&] { service.Run(); });
  httplib::Client client("127.0.0.1", port);

  struct Step {
    const char* method;
    std::string path;
    int status;
  } steps[] = {
      {"POST", "/visitors?name=Ann", 202},
      {"POST", "/visitors?name=", 400},
      {"POST", "/visitors", 400},
      {"POST", "/visitors?name=" + std::string(ChatService::kMaxNameBytes + 1, 'x'), 413},
      {"POST", "/visitors?name=Bob", 202},
      {"GET", "/pop.php", 200},
      {"GET", "/pop.php", 200},
      {"GET", "/register.htm", 200},
      {"GET", "/disconnect.php", 200},
      {"GET", "/nothing", 404},
      {"PUT", "/t/a.htm", 201},
      {"GET", "/t/a.htm", 200},
      {"GET", "/t/b.htm", 404},
  };
  std::vector<std::string> pops;
  for (const Step& s : steps) {
    const std::string method = s.method;
    auto res = method == "GET"   ? client.Get(s.path.c_str())
               : method == "PUT" ? client.Put(s.path.c_str(), "<p>test page</p>", "text/html")
                                 : client.Post(s.path.c_str(), "", "text/plain");
    ASSERT_TRUE(res) << s.path;
    EXPECT_EQ(res->status, s.status) << s.path;
    if (s.path == "/t/a.htm" && method == "GET") {
      EXPECT_EQ(res->body, "<p>test page</p>");
    }
    if (s.path == "/pop.php") {
      pops.push_back(res->body);
      EXPECT_EQ(res->get_header_value("Cache-Control"), "no-store");
      EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
    }
  }
  ASSERT_EQ(pops.size(), 2u);
  EXPECT_NE(pops[0].find("pagesetup(\"Ann\")"), std::string::npos);
  EXPECT_NE(pops[0].find("pagesetup(\"Bob\")"), std::string::npos);
  EXPECT_EQ(pops[1].find("pagesetup"), std::string::npos);  // drained by the first load

  auto log = client.Get("/log");
  ASSERT_TRUE(log);
  EXPECT_EQ(log->body,
            "POST /visitors name=Ann 202\nPOST /visitors name= 400\nPOST /visitors 400\nPOST /visitors name=" +
                std::string(ChatService::kMaxNameBytes + 1, 'x') +
                " 413\nPOST /visitors name=Bob 202\nGET /pop.php 200\nGET /pop.php 200\nGET /register.htm 200\n"
                "GET /disconnect.php 200\nGET /nothing 404\nPUT /t/a.htm 201\nGET /t/a.htm 200\nGET /t/b.htm 404\n");
  service.Stop();
  server.join();
}

TEST(ChatService, NamesOfFourKilobytesComeAsTheBody) {
  ChatService service(700);
  const int port = service.Bind(0);
  ASSERT_GT(port, 0);
  std::thread server([&] { service.Run(); });
  httplib::Client client("127.0.0.1", port);
  // 1365 Chinese characters and one letter: 4096 bytes of UTF-8, too long for an address.
  std::string name;
  for (int i = 0; i < 1365; ++i) name += "\xE7\x8E\x8B";
  name += "x";
  auto ok = client.Post("/visitors", name, "text/plain; charset=utf-8");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 202) << ok->body;
  auto tooLong = client.Post("/visitors", name + "y", "text/plain; charset=utf-8");
  ASSERT_TRUE(tooLong);
  EXPECT_EQ(tooLong->status, 413);
  auto empty = client.Post("/visitors", "", "text/plain");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 400);
  auto page = client.Get("/pop.php");
  ASSERT_TRUE(page);
  std::string escaped;
  for (int i = 0; i < 1365; ++i) escaped += "\\u738B";
  EXPECT_NE(page->body.find("pagesetup(\"" + escaped + "x\")"), std::string::npos);
  service.Stop();
  server.join();
}

}  // namespace
}  // namespace murmella::service

TEST(ChatService, APortInUseIsRefused) {
  murmella::service::ChatService first(1000, nullptr);
  const int port = first.Bind(0);
  ASSERT_GT(port, 0);
  murmella::service::ChatService second(1000, nullptr);
  EXPECT_LT(second.Bind(port), 0) << "a second server must not share the port";
}
