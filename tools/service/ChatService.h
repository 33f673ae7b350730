// The stand-in chat service: the presence, sign-up and logged-out pages, a queue of visitors
// that the next presence page reports, pages a test puts up under /t/, and a log of every
// request served. Loopback only.
#pragma once

#include <httplib.h>

#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace murmella::service {

class ChatService {
 public:
  // Limits that keep a misbehaving client from growing the service without bound.
  static constexpr size_t kMaxNameBytes = 4096;
  static constexpr size_t kMaxQueued = 1000;
  static constexpr size_t kMaxLogLines = 100000;
  static constexpr size_t kMaxPageBytes = 1 << 20;
  static constexpr size_t kMaxPages = 100;

  // `logFile` (may be null) receives each log line as well.
  explicit ChatService(int reloadMs = 1000, std::FILE* logFile = nullptr);

  // Binds 127.0.0.1:`port` (0: any free port); returns the port, or -1.
  int Bind(int port);
  // Serves until Stop; call after Bind.
  bool Run();
  void Stop();

 private:
  void Route(const std::string& method, const std::string& pattern, httplib::Server::Handler handler);
  void Log(const httplib::Request& req, const httplib::Response& res);

  httplib::Server server_;
  int reloadMs_;
  std::FILE* logFile_;
  std::mutex mutex_;
  std::vector<std::string> queued_;
  std::deque<std::string> log_;
  std::map<std::string, std::string> pages_;  // test pages by path
};

}  // namespace murmella::service
