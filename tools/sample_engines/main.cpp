// trovelane-sample-engines: serves the sample engines on 127.0.0.1 until
// SIGINT or SIGTERM arrives or its lifetime is over.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "engines/profile.h"
#include "platform/atomic_file.h"
#include "tools/sample_engines/sample_server.h"

int main(int argc, char** argv) {
  using trovelane::sample::SampleServerOptions;
  SampleServerOptions options;
  std::string portFile;
  std::string profileFile;
  std::string pluginSites;
  int lifetime = 1800;

  CLI::App app{
      "trovelane-sample-engines: sample search engines over a generated corpus, "
      "on 127.0.0.1, for demonstrations and tests."};
  app.add_option("--port", options.port, "Port to listen on (0: a free one)");
  app.add_option("--port-file", portFile, "Write the port number to this file (removed on exit)");
  app.add_option("--profile", profileFile, "Write the search profile of the engines to this file");
  app.add_option("--plugin-sites", pluginSites,
                 "Point the site plug-ins here: write <plug-in>.site files into this folder "
                 "(an install folder's plugins) and list the plug-ins in the profile");
  app.add_option("--pages", options.pageCount, "Pages in the corpus")->check(CLI::Range(1, 100000));
  app.add_option("--max-pages", options.maxResultPages, "Result pages per query at most")
      ->check(CLI::Range(1, 1000));
  app.add_option("--slow-engines", options.slowEngines, "Number of slow engines (slow1 …)")
      ->check(CLI::Range(0, 200));
  app.add_option("--latency-ms", options.latencyMs, "Pause of the slow engines per result page")
      ->check(CLI::Range(0, 60000));
  app.add_option("--page-latency-ms", options.pageLatencyMs, "Pause per corpus page")
      ->check(CLI::Range(0, 60000));
  app.add_option("--answer-delay-ms", options.answerDelayMs,
                 "Wait before every answer (a server far away)")
      ->check(CLI::Range(0, 60000));
  app.add_option("--max-connections", options.maxConnections, "Connections served at once")
      ->check(CLI::Range(1, 1024));
  app.add_option("--lifetime", lifetime, "Stop after this many seconds (0: only on a signal)")
      ->check(CLI::Range(0, 7 * 24 * 3600));
  CLI11_PARSE(app, argc, argv);

  // Signals are taken by this thread alone: block them before any thread starts.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  trovelane::sample::SampleServer server(options);
  if (trovelane::Status started = server.Start(); !started.ok()) {
    std::cerr << "trovelane-sample-engines: " << started.message() << "\n";
    return 1;
  }
  if (!pluginSites.empty()) {
    if (trovelane::Status written = server.WritePluginSiteFiles(pluginSites); !written.ok()) {
      std::cerr << "trovelane-sample-engines: " << written.message() << "\n";
      return 1;
    }
  }
  if (!profileFile.empty()) {
    trovelane::EngineCatalogue profile = server.Catalogue();
    if (!pluginSites.empty()) {
      for (auto& engine : server.PluginCatalogue().engines) profile.engines.push_back(engine);
    }
    if (auto saved = trovelane::SaveProfile(profileFile, profile); !saved.ok()) {
      std::cerr << "trovelane-sample-engines: " << profileFile << ": " << saved.message() << "\n";
      return 1;
    }
  }
  if (!portFile.empty()) {
    if (auto saved = trovelane::WriteFileAtomically(portFile, std::to_string(server.Port()) + "\n");
        !saved.ok()) {
      std::cerr << "trovelane-sample-engines: " << portFile << ": " << saved.message() << "\n";
      return 1;
    }
  }
  std::cout << server.Port() << std::endl;
  std::cerr << "trovelane-sample-engines: " << server.Engines().size() << " engines on "
            << server.BaseUrl() << "/" << (profileFile.empty() ? "" : ", profile " + profileFile)
            << "\n";

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(lifetime);
  for (;;) {
    timespec wait{1, 0};
    if (lifetime > 0) {
      auto left = deadline - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) break;
      auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
      wait = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    }
    int received = sigtimedwait(&signals, nullptr, &wait);
    if (received == SIGINT || received == SIGTERM) break;
  }

  server.Stop();
  if (!portFile.empty()) unlink(portFile.c_str());
  std::cerr << "trovelane-sample-engines: stopped\n";
  return 0;
}
