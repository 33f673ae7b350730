// murmella-service [--port N] [--reload-ms N] [--log FILE] [--url-file FILE]
// Plays the chat service's web server on 127.0.0.1 for the demo and the tests. Prints the
// address it listens on; --port 0 takes any free port, --url-file writes the address there
// once the port is bound. Ends on SIGINT or SIGTERM.
#include "ChatService.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

int Usage(const char* why) {
  std::fprintf(stderr, "murmella-service: %s\nusage: murmella-service [--port N] [--reload-ms N] [--log FILE] "
                       "[--url-file FILE]\n", why);
  return 2;
}

bool ParseInt(const char* text, int lo, int hi, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 8480, reloadMs = 1000;
  const char* logPath = nullptr;
  const char* urlPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
    const char* value = argv[++i];
    if (arg == "--port") {
      if (!ParseInt(value, 0, 65535, port)) return Usage("--port takes 0 to 65535");
    } else if (arg == "--reload-ms") {
      if (!ParseInt(value, 10, 600000, reloadMs)) return Usage("--reload-ms takes 10 to 600000");
    } else if (arg == "--log") {
      logPath = value;
    } else if (arg == "--url-file") {
      urlPath = value;
    } else {
      return Usage(("unknown option " + arg).c_str());
    }
  }

  std::FILE* logFile = nullptr;
  if (logPath && !(logFile = std::fopen(logPath, "a"))) return Usage("cannot open the log file");

  // The signals are taken by one thread that stops the server; the server's own threads
  // inherit the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  murmella::service::ChatService service(reloadMs, logFile);
  const int bound = service.Bind(port);
  if (bound < 0) {
    std::fprintf(stderr, "murmella-service: cannot listen on 127.0.0.1:%d (is another server using the port?)\n",
                 port);
    return 1;
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(bound);
  if (urlPath) {
    // Written whole and then renamed, so a reader never sees half an address.
    const std::string tmp = std::string(urlPath) + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f || std::fprintf(f, "%s\n", url.c_str()) < 0 || std::fclose(f) != 0 ||
        std::rename(tmp.c_str(), urlPath) != 0)
      return Usage("cannot write the address file");
  }
  std::printf("murmella-service: listening on %s\n", url.c_str());
  std::fflush(stdout);

  std::thread stopper([&] {
    int sig = 0;
    sigwait(&stopSignals, &sig);
    service.Stop();
  });
  const bool ok = service.Run();
  // Run also ends when listening fails; wake the stopper so it can be joined.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  if (logFile) std::fclose(logFile);
  return ok ? 0 : 1;
}
