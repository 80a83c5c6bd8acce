// An engine on loopback whose results change between searches, for the
// tests of watched searches: its result page lists the pages `Set` names,
// and a listed or unlisted page answers 200 while it is live, 404 when it is
// gone.
//
// Threads: the server answers on its own threads; Set may be called from any.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/loopback_server.h"

namespace trovelane::test {

class ChangingEngine {
 public:
  ChangingEngine() : server_([this](ServerConnection& c) { Serve(c); }) {}

  // The engine's result page lists `listed`; the pages of `live` exist.
  void Set(std::vector<std::string> listed, std::set<std::string> live) {
    std::lock_guard lock(mutex_);
    listed_ = std::move(listed);
    live_ = std::move(live);
  }
  std::string PageUrl(const std::string& name) const { return server_.Url("/p/" + name + ".html"); }
  // A profile of the one engine "changing", searched with q= and start=.
  std::string ProfileText() const {
    return "COM = 0\nMAX = 0\nTAR = 0\nSIT = changing\nACT = " + server_.Url("/search") +
           "\nSID = q\nRID = start\nTEC = 0\nITR = 0\nRES = 10\nSEP = &\nSEL = 1\nPAR = 2\n"
           "USB = 1\nAND = +AND+\nOR = +OR+\nNOT = -\nEXC = %22\nPNM0 = q\nPDV0 = \nPAT0 = 0\n"
           "PNM1 = start\nPDV1 = 0\nPAT1 = 1\nSEC = 1\nSET0 = html\nAEC = 0\nDSC = 0\nUSC = 0\n"
           "RST = 0\nLIN = \nREF = \nCOC = 0\nCOO = 0\n";
  }

 private:
  void Serve(ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const std::string path = request.substr(4, request.find(' ', 4) - 4);
    std::lock_guard lock(mutex_);
    if (path.rfind("/search", 0) == 0) {
      std::string body = "<html><body>";
      for (const std::string& name : listed_) {
        body += "<p><a href=\"" + PageUrl(name) + "\">River " + name + "</a></p>";
      }
      c.Send(HttpResponse("HTTP/1.0 200 OK", "", body + "</body></html>"));
      return;
    }
    const std::string name = path.substr(3, path.size() - 8);  // /p/NAME.html
    c.Send(live_.count(name) ? HttpResponse("HTTP/1.0 200 OK", "", "<html>river</html>")
                             : HttpResponse("HTTP/1.0 404 Not Found", "", "no such page"));
  }

  std::mutex mutex_;
  std::vector<std::string> listed_;
  std::set<std::string> live_;
  LoopbackServer server_;  // last: stops before the state goes
};

}  // namespace trovelane::test
