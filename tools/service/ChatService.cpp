#include "ChatService.h"

#include "ChatPages.h"

namespace murmella::service {

namespace {

void Page(httplib::Response& res, std::string body) {
  // The presence page must be fetched afresh on every reload, or no new visitor would show.
  res.set_header("Cache-Control", "no-store");
  res.set_content(std::move(body), "text/html; charset=utf-8");
}

void Refuse(httplib::Response& res, int status, const char* why) {
  res.status = status;
  res.set_content(std::string(why) + "\n", "text/plain");
}

}  // namespace

ChatService::ChatService(int reloadMs, std::FILE* logFile) : reloadMs_(reloadMs), logFile_(logFile) {
  // Small responses go out at once; with Nagle's delay each page would wait for the client's
  // delayed acknowledgement (some 40 ms on loopback).
  server_.set_tcp_nodelay(true);
  // The library's default lets a second server bind a port in use (SO_REUSEPORT) and take half
  // of its requests; this one takes a port alone. SO_REUSEADDR still lets a restart bind a
  // port whose last connections are winding down.
  server_.set_socket_options([](auto sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  Route("GET", "/pop.php", [this](const httplib::Request&, httplib::Response& res) {
    std::vector<std::string> visitors;
    {
      std::lock_guard lock(mutex_);
      visitors.swap(queued_);
    }
    Page(res, PresencePage(visitors, reloadMs_));
  });
  Route("GET", "/register.htm", [](const httplib::Request&, httplib::Response& res) { Page(res, RegisterPage()); });
  Route("GET", "/disconnect.php",
         [](const httplib::Request&, httplib::Response& res) { Page(res, DisconnectPage()); });
  Route("POST", "/visitors", [this](const httplib::Request& req, httplib::Response& res) {
    // Long names in other scripts outgrow an address (each byte is three characters there), so
    // the name may also come as the body, as plain UTF-8 text.
    const bool inBody = !req.has_param("name") && req.get_header_value("Content-Type").starts_with("text/plain");
    std::string name = inBody ? req.body : req.get_param_value("name");
    if (name.empty())
      return Refuse(res, 400, "a visitor needs a name: POST /visitors?name=..., or the name as a text/plain body");
    if (name.size() > kMaxNameBytes) return Refuse(res, 413, "the visitor's name is too long");
    std::lock_guard lock(mutex_);
    if (queued_.size() >= kMaxQueued) return Refuse(res, 503, "too many visitors waiting for the presence page");
    queued_.push_back(std::move(name));
    res.status = 202;
    res.set_content("queued\n", "text/plain");
  });
  // Pages a test puts up for its own scenarios: PUT /t/NAME with the page, then GET /t/NAME.
  Route("PUT", R"(/t/([A-Za-z0-9._-]+))", [this](const httplib::Request& req, httplib::Response& res) {
    if (req.body.size() > kMaxPageBytes) return Refuse(res, 413, "the page is too large");
    std::lock_guard lock(mutex_);
    if (pages_.size() >= kMaxPages && !pages_.count(req.path)) return Refuse(res, 507, "too many pages");
    pages_[req.path] = req.body;
    res.status = 201;
    res.set_content("stored\n", "text/plain");
  });
  Route("GET", R"(/t/([A-Za-z0-9._-]+))", [this](const httplib::Request& req, httplib::Response& res) {
    std::string body;
    {
      std::lock_guard lock(mutex_);
      auto it = pages_.find(req.path);
      if (it == pages_.end()) return Refuse(res, 404, "no such page");
      body = it->second;
    }
    Page(res, std::move(body));
  });
  server_.Get("/log", [this](const httplib::Request&, httplib::Response& res) {
    std::string text;
    {
      std::lock_guard lock(mutex_);
      for (const std::string& line : log_) text += line + "\n";
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(std::move(text), "text/plain");
  });
  // Whatever else is asked is not found, and logged as such.
  for (const char* method : {"GET", "POST", "PUT"})
    Route(method, ".*", [](const httplib::Request&, httplib::Response& res) { Refuse(res, 404, "no such page"); });
}

void ChatService::Route(const std::string& method, const std::string& pattern, httplib::Server::Handler handler) {
  // Logged before the response goes out, so a client that asks for the log next finds its
  // request there.
  auto logged = [this, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
    handler(req, res);
    Log(req, res);
  };
  if (method == "GET")
    server_.Get(pattern, std::move(logged));
  else if (method == "POST")
    server_.Post(pattern, std::move(logged));
  else
    server_.Put(pattern, std::move(logged));
}

void ChatService::Log(const httplib::Request& req, const httplib::Response& res) {
  std::string line = req.method + " " + req.path;
  if (req.method == "POST" && req.has_param("name")) line += " name=" + req.get_param_value("name");
  line += " " + std::to_string(res.status < 0 ? 200 : res.status);  // unset: the library's 200
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';  // one request, one line
  std::lock_guard lock(mutex_);
  log_.push_back(line);
  if (log_.size() > kMaxLogLines) log_.pop_front();
  if (logFile_) {
    std::fprintf(logFile_, "%s\n", line.c_str());
    std::fflush(logFile_);
  }
}

int ChatService::Bind(int port) {
  if (port == 0) return server_.bind_to_any_port("127.0.0.1");
  return server_.bind_to_port("127.0.0.1", port) ? port : -1;
}

bool ChatService::Run() { return server_.listen_after_bind(); }

void ChatService::Stop() { server_.stop(); }

}  // namespace murmella::service
