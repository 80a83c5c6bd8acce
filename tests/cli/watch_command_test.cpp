// trovelane-cli watch over an engine on loopback whose results change
// between runs (new, gone, dropped, kept), the feed, and the timer units.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_home.h"
#include "tests/support/changing_engine.h"

namespace trovelane::testing {
namespace {

using test::ChangingEngine;

std::string Signature(const std::string& path) { return ReadFileBytes(path).substr(1, 11); }

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old_.empty() ? unsetenv(name_) : setenv(name_, old_.c_str(), 1); }

 private:
  const char* name_;
  std::string old_;
};

TEST(WatchCommandTest, ListsWhatChangedAddsTheNewAndKeepsEveryRecord) {
  CliHome home;
  auto engine = std::make_unique<ChangingEngine>();
  const std::string profile = home.File("changing.prf");
  std::ofstream(profile) << engine->ProfileText();
  const std::string doc = home.File("river.qmk");
  const std::string feed = home.File("river.xml");

  engine->Set({"a", "b", "c"}, {"a", "b", "c"});
  Outcome searched =
      home.Run({"search", "--profile", profile, "--format", "qmk", "-o", doc, "river"});
  ASSERT_EQ(searched.exitCode, 0) << searched.output;
  EXPECT_EQ(Signature(doc), "Trovelan025");

  // b is gone, c dropped out of the results but is still there, d is new.
  engine->Set({"a", "d"}, {"a", "c", "d"});
  SplitOutcome first = home.RunSplit({"watch", "--profile", profile, "--format", "json", doc});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  std::vector<nlohmann::json> lines = JsonLines(first.out);
  ASSERT_EQ(lines.size(), 3u) << first.out << first.err;
  EXPECT_EQ(lines[0]["change"], "new");
  EXPECT_EQ(lines[0]["url"], engine->PageUrl("d"));
  EXPECT_EQ(lines[0]["title"], "River d");
  EXPECT_EQ(lines[0]["engines"], nlohmann::json::array({"changing"}));
  EXPECT_EQ(lines[1]["change"], "dead");
  EXPECT_EQ(lines[1]["url"], engine->PageUrl("b"));
  EXPECT_EQ(lines[2]["change"], "dropped");
  EXPECT_EQ(lines[2]["url"], engine->PageUrl("c"));
  EXPECT_NE(first.err.find("[changing] 2 results, 1 page, done"), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("1 new, 1 dead, 1 dropped, 1 kept"), std::string::npos);
  EXPECT_EQ(Signature(doc), "Trovelan026");

  // Only what changed since: e is new; b and c are not listed again. A
  // desktop session hears of it, and a click on "Open" opens the document
  // (notify-send and xdg-open are stand-ins here: the one is clicked at once,
  // the other notes what it was asked to open).
  engine->Set({"a", "d", "e"}, {"a", "c", "d", "e"});
  const std::string notified = home.File("notified.log");
  const std::string bin = home.File("bin");
  std::filesystem::create_directory(bin);
  std::ofstream(bin + "/notify-send")
      << "#!/bin/sh\n[ \"$1\" = --help ] && { echo '  --action=[NAME=]Text'; exit 0; }\n"
      << "echo \"$@\" >> '" << notified << "'\necho open\n";
  std::ofstream(bin + "/xdg-open") << "#!/bin/sh\necho \"xdg-open $@\" >> '" << notified << "'\n";
  for (const char* tool : {"/notify-send", "/xdg-open"}) {
    std::filesystem::permissions(bin + tool, std::filesystem::perms::owner_all);
  }
  SplitOutcome second;
  {
    ScopedEnv path("PATH", bin + ":" + getenv("PATH"));
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.File("no-bus"));
    second = home.RunSplit({"watch", "--notify", "--profile", profile, "--feed", feed, doc});
  }
  ASSERT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(second.out, "new     changing  River e | " + engine->PageUrl("e") + "\n");
  // The notification waits for its click apart from the watch, which has ended.
  const std::string expected =
      "--app-name=trovelane --icon=trovelane --action=open=Open --wait -- trovelane: river.qmk "
      "1 new, 0 dead, 0 dropped\nxdg-open " + doc + "\n";
  for (int i = 0; i < 300 && ReadFileBytes(notified) != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(ReadFileBytes(notified), expected);
  const std::string xml = ReadFileBytes(feed);
  EXPECT_NE(xml.find("<link href=\"" + engine->PageUrl("e") + "\"/>"), std::string::npos) << xml;

  const nlohmann::json opened =
      nlohmann::json::parse(home.Run({"open", "--format", "json", doc}).output);
  EXPECT_EQ(opened["watch"]["engines"], nlohmann::json::array({"changing"}));
  std::vector<std::string> states;
  for (const auto& r : opened["results"]) states.push_back(r["watch"]["state"]);
  EXPECT_EQ(states, (std::vector<std::string>{"kept", "dead", "dropped", "kept", "new"}));

  Outcome listed = home.Run({"open", "--format", "tsv", doc});
  EXPECT_EQ(std::count(listed.output.begin(), listed.output.end(), '\n'), 3 + 5) << listed.output;

  // Back to version 25 for older readers, every record kept.
  const std::string old = home.File("old.qmk");
  ASSERT_EQ(home.Run({"convert", "--version", "25", doc, old}).exitCode, 0);
  EXPECT_EQ(Signature(old), "Trovelan025");
  EXPECT_EQ(home.Run({"open", "--format", "tsv", old}).output, listed.output);

  // A damaged document is not watched, so never saved over with its readable part.
  const std::string damaged = home.File("damaged.qmk");
  const std::string cut = ReadFileBytes(doc).substr(0, 80);
  std::ofstream(damaged, std::ios::binary) << cut;
  EXPECT_EQ(home.Run({"watch", "--profile", profile, damaged}).exitCode, 2);
  EXPECT_EQ(ReadFileBytes(damaged), cut);

  // No engine answers: nothing is proved, the document stays as it was.
  const std::string before = ReadFileBytes(doc);
  engine.reset();
  Outcome unreachable = home.Run({"watch", "--profile", profile, doc});
  EXPECT_EQ(unreachable.exitCode, 4) << unreachable.output;
  EXPECT_EQ(ReadFileBytes(doc), before);
}

TEST(WatchCommandTest, ScheduleWritesAUserTimerAndOffRemovesIt) {
  CliHome home;
  const std::string doc = home.File("my 100% river.qmk");
  ASSERT_EQ(home.Run({"convert", "/dev/null", doc}).exitCode, 2);  // not a document
  {
    std::ofstream(doc, std::ios::binary)
        << std::string("\x0bTrovelan025\x05river", 18) << std::string(8, '\0');
  }
  const std::string config = home.File("config");
  const std::string log = home.File("systemctl.log");
  const std::string fake = home.File("systemctl");
  std::ofstream(fake) << "#!/bin/sh\necho \"$@\" >> '" << log << "'\n";
  std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
  ScopedEnv configHome("XDG_CONFIG_HOME", config);

  {
    // Without systemd nothing is written.
    ScopedEnv none("TROVELANE_SYSTEMCTL", home.File("no-such-systemctl"));
    Outcome refused = home.Run({"watch", "--schedule", "daily", doc});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("systemd"), std::string::npos) << refused.output;
    EXPECT_FALSE(std::filesystem::exists(config));
  }

  ScopedEnv systemctl("TROVELANE_SYSTEMCTL", fake);
  Outcome scheduled = home.Run({"watch", "--schedule", "weekly", doc});
  ASSERT_EQ(scheduled.exitCode, 0) << scheduled.output;
  const std::filesystem::path units = config + "/systemd/user";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(units))
    files.push_back(entry.path());
  ASSERT_EQ(files.size(), 2u);
  std::sort(files.begin(), files.end());
  const std::string name = files[0].stem().string();
  EXPECT_EQ(name.rfind("trovelane-watch-my_100__river-", 0), 0u) << name;
  const std::string service = ReadFileBytes(files[0]);
  const std::string timer = ReadFileBytes(files[1]);
  EXPECT_NE(service.find("ExecStart=\"" TROVELANE_CLI_PATH "\" --home \"" + home.Home() +
                         "\" watch --notify \"" + home.File("my 100%% river.qmk") + "\"\n"),
            std::string::npos)
      << service;
  EXPECT_NE(timer.find("OnCalendar=weekly\n"), std::string::npos) << timer;
  EXPECT_EQ(ReadFileBytes(log), "--user daemon-reload\n--user enable --now " + name + ".timer\n");

  Outcome off = home.Run({"watch", "--schedule", "off", doc});
  ASSERT_EQ(off.exitCode, 0) << off.output;
  EXPECT_TRUE(std::filesystem::is_empty(units));
  EXPECT_NE(ReadFileBytes(log).find("--user disable --now " + name + ".timer\n"),
            std::string::npos);
}

}  // namespace
}  // namespace trovelane::testing
