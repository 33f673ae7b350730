// A small HTTP/1.1 server on 127.0.0.1 for the control's tests: each request is answered by a
// handler on its own thread, and every request line and User-Agent is recorded.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace murmella::webcontrol::test {

struct TReply {
  int Status = 200;
  std::string Reason = "OK";
  std::string Body;
  std::string Location;  // sent as a Location header when not empty
  std::string ContentType = "text/html";
  int DelayMs = 0;       // before the reply is sent
};

inline TReply Reply(int status, std::string reason, std::string body) {
  TReply r;
  r.Status = status;
  r.Reason = std::move(reason);
  r.Body = std::move(body);
  return r;
}
inline TReply Redirect(std::string location) {
  TReply r = Reply(302, "Found", {});
  r.Location = std::move(location);
  return r;
}

struct TRequest {
  std::string Path;
  std::string UserAgent;
};

class TLoopbackServer {
 public:
  explicit TLoopbackServer(std::function<TReply(const std::string& path)> handler);
  ~TLoopbackServer();
  unsigned short Port() const { return port_; }
  std::string Url(const std::string& path) const;
  std::vector<TRequest> Requests() const;
  int CountRequests(const std::string& prefix) const;

 private:
  void Accept();
  void Serve(std::uintptr_t socket);

  std::function<TReply(const std::string&)> handler_;
  unsigned short port_ = 0;  // before listener_: the listening socket's set-up fills it
  std::uintptr_t listener_;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  mutable std::mutex lock_;
  std::vector<std::thread> workers_;
  std::vector<TRequest> requests_;
};

// A port on which nothing listens (bound, then released).
unsigned short DeadPort();

}  // namespace murmella::webcontrol::test
