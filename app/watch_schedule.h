// Watching a results document on a schedule, the Linux way: a systemd user
// timer (a ".service" and a ".timer" unit in $XDG_CONFIG_HOME/systemd/user,
// ~/.config/systemd/user by default) that runs "trovelane-cli watch" on the
// document daily or weekly. Plain functions; owner thread (they run
// systemctl and wait for it).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace trovelane {

// The program that manages the user's units: the one this variable names
// when it is set (the tests name a stand-in that only records its
// arguments), else "systemctl" when systemd runs the machine.
inline constexpr const char* kSystemctlVariable = "TROVELANE_SYSTEMCTL";

struct WatchSchedule {
  std::string document;  // the results document, an absolute path
  std::string program;   // trovelane-cli, an absolute path
  std::string home;      // --home for the watch; empty: the default install folder
  std::string profile;   // --profile for the watch; empty: the current profile
  std::string period;    // "daily" or "weekly"
};

// Runs systemctl with `arguments` (after "--user"); true when it exited 0.
using SystemctlRunner = std::function<bool(const std::vector<std::string>& arguments)>;

// The folder of the user's units: $XDG_CONFIG_HOME/systemd/user, else
// $HOME/.config/systemd/user.
std::string UserUnitFolder();

// "trovelane-watch-NAME-HASH": NAME from the document's file name (letters,
// digits, "-" and "_" only), HASH from its whole path, so that two documents
// of one name in two folders get two timers.
std::string WatchUnitName(const std::string& document);

// The text of the two units. kInvalidArgument when a path holds a line
// break or a control character, which a unit file cannot carry.
Status RenderWatchService(const WatchSchedule& schedule, std::string& text);
std::string RenderWatchTimer(const WatchSchedule& schedule);

// The systemctl of this machine: kSystemctlVariable's program, else
// "systemctl" when /run/systemd/system is there and systemctl is on the
// PATH. Empty when there is none; then nothing can be scheduled.
std::string FindSystemctl();

// A runner that starts `systemctl` and waits for it.
SystemctlRunner MakeSystemctlRunner(const std::string& systemctl);

// Writes both units (atomically) into `unitFolder`, creating it, then reloads
// the user's manager and enables and starts the timer. kInvalidArgument from
// RenderWatchService; kIoError when a unit cannot be written, or when
// systemctl fails (the units then stay written, and the message says which
// step failed).
Status InstallWatchSchedule(const WatchSchedule& schedule, const std::string& unitFolder,
                            const SystemctlRunner& systemctl);

// Stops and disables the timer of `document`, removes both units and reloads
// the manager. OK also when there was no timer.
Status RemoveWatchSchedule(const std::string& document, const std::string& unitFolder,
                           const SystemctlRunner& systemctl);

}  // namespace trovelane
