#include "LoopbackServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

namespace murmella::webcontrol::test {

namespace {

struct TWinsock {
  TWinsock() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  }
  ~TWinsock() { WSACleanup(); }
};

SOCKET ListenOnLoopback(unsigned short& port) {
  static TWinsock winsock;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(s, 16) != 0)
    throw std::runtime_error("bind/listen failed");
  int len = sizeof(a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return s;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
  std::size_t p = 0;
  while ((p = head.find("\r\n", p)) != std::string::npos) {
    p += 2;
    if (_strnicmp(head.c_str() + p, name.c_str(), name.size()) == 0 && head[p + name.size()] == ':') {
      std::size_t v = p + name.size() + 1;
      while (v < head.size() && head[v] == ' ') ++v;
      return head.substr(v, head.find("\r\n", v) - v);
    }
  }
  return {};
}

}  // namespace

TLoopbackServer::TLoopbackServer(std::function<TReply(const std::string&)> handler)
    : handler_(std::move(handler)), listener_(ListenOnLoopback(port_)) {
  acceptor_ = std::thread([this] { Accept(); });
}

TLoopbackServer::~TLoopbackServer() {
  stopping_ = true;
  closesocket(static_cast<SOCKET>(listener_));
  acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> g(lock_);
    workers.swap(workers_);
  }
  for (std::thread& t : workers) t.join();
}

std::string TLoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<TRequest> TLoopbackServer::Requests() const {
  std::lock_guard<std::mutex> g(lock_);
  return requests_;
}

int TLoopbackServer::CountRequests(const std::string& prefix) const {
  std::lock_guard<std::mutex> g(lock_);
  int n = 0;
  for (const TRequest& r : requests_) n += r.Path.rfind(prefix, 0) == 0;
  return n;
}

void TLoopbackServer::Accept() {
  while (!stopping_) {
    const SOCKET c = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (c == INVALID_SOCKET) break;
    std::lock_guard<std::mutex> g(lock_);
    workers_.emplace_back([this, c] { Serve(c); });
  }
}

void TLoopbackServer::Serve(std::uintptr_t socketValue) {
  const SOCKET s = static_cast<SOCKET>(socketValue);
  std::string head;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const int n = recv(s, buf, sizeof(buf), 0);
    if (n <= 0) break;
    head.append(buf, static_cast<std::size_t>(n));
  }
  const std::size_t sp1 = head.find(' '), sp2 = head.find(' ', sp1 + 1);
  if (sp1 != std::string::npos && sp2 != std::string::npos) {
    const std::string path = head.substr(sp1 + 1, sp2 - sp1 - 1);
    {
      std::lock_guard<std::mutex> g(lock_);
      requests_.push_back({path, HeaderValue(head, "User-Agent")});
    }
    const TReply r = handler_(path);
    if (r.DelayMs > 0) Sleep(static_cast<DWORD>(r.DelayMs));
    std::string out = "HTTP/1.1 " + std::to_string(r.Status) + " " + r.Reason + "\r\n";
    out += "Content-Type: " + r.ContentType + "\r\nConnection: close\r\n";
    out += "Content-Length: " + std::to_string(r.Body.size()) + "\r\n";
    if (!r.Location.empty()) out += "Location: " + r.Location + "\r\n";
    out += "\r\n";
    out += r.Body;
    std::size_t sent = 0;
    while (sent < out.size() && !stopping_) {
      const int n = send(s, out.data() + sent, static_cast<int>(std::min<std::size_t>(out.size() - sent, 65536)), 0);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
  }
  shutdown(s, SD_BOTH);
  closesocket(s);
}

unsigned short DeadPort() {
  unsigned short port = 0;
  closesocket(ListenOnLoopback(port));
  return port;
}

}  // namespace murmella::webcontrol::test
