#include "app/watch_schedule.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/command_output.h"
#include "results/atom_feed.h"

namespace trovelane {
namespace {

// How long one systemctl call may take.
constexpr int kSystemctlTimeoutMs = 30000;

// The longest part of a unit name taken from the document's file name.
constexpr size_t kMaxNamePart = 40;

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// One word of an ExecStart line: in double quotes, with "\" and the quote
// escaped, and "%" and "$" doubled so that systemd takes them as they are.
std::string UnitWord(std::string_view word) {
  std::string out = "\"";
  for (char c : word) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '%' || c == '$') out += c;
    out += c;
  }
  return out + "\"";
}

// The document's file name in a Description line, "%" doubled.
std::string FileName(const std::string& path) {
  std::string out;
  for (char c : std::filesystem::path(path).filename().string()) {
    if (c == '%') out += c;
    out += c;
  }
  return out;
}

}  // namespace

std::string UserUnitFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/systemd/user";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config/systemd/user";
}

std::string WatchUnitName(const std::string& document) {
  std::string stem = std::filesystem::path(document).stem().string();
  std::string name;
  for (char c : stem) {
    if (name.size() >= kMaxNamePart) break;
    name += IsAsciiLetterOrDigit(c) || c == '-' || c == '_' ? c : '_';
  }
  char hash[16];
  std::snprintf(hash, sizeof hash, "%08llx",
                static_cast<unsigned long long>(StableTextHash(document) & 0xFFFFFFFF));
  return "trovelane-watch-" + (name.empty() ? std::string("document") : name) + "-" + hash;
}

Status RenderWatchService(const WatchSchedule& schedule, std::string& text) {
  for (const std::string* value :
       {&schedule.document, &schedule.program, &schedule.home, &schedule.profile}) {
    if (HasControlCharacter(*value)) {
      return Status::InvalidArgument("a unit file cannot hold the path " + *value);
    }
  }
  std::string command = UnitWord(schedule.program);
  if (!schedule.home.empty()) command += " --home " + UnitWord(schedule.home);
  command += " watch --notify ";
  if (!schedule.profile.empty()) command += "--profile " + UnitWord(schedule.profile) + " ";
  command += UnitWord(schedule.document);
  text = "[Unit]\n";
  text += "Description=trovelane: search " + FileName(schedule.document) + " again\n\n";
  text += "[Service]\n";
  text += "Type=oneshot\n";
  text += "ExecStart=" + command + "\n";
  // The notification that waits for a click outlives the watch.
  text += "KillMode=process\n";
  return Status::Ok();
}

std::string RenderWatchTimer(const WatchSchedule& schedule) {
  std::string text = "[Unit]\n";
  text += "Description=trovelane: search " + FileName(schedule.document) + " again " +
          schedule.period + "\n\n";
  text += "[Timer]\n";
  text += "OnCalendar=" + schedule.period + "\n";
  // A run missed while the machine was off comes at the next start; the
  // delay spreads the watches of many users over half an hour.
  text += "Persistent=true\n";
  text += "RandomizedDelaySec=30min\n\n";
  text += "[Install]\n";
  text += "WantedBy=timers.target\n";
  return text;
}

std::string FindSystemctl() {
  if (const char* chosen = std::getenv(kSystemctlVariable)) {
    return ::access(chosen, X_OK) == 0 ? chosen : "";
  }
  // sd_booted(): systemd runs the machine when this folder is there.
  if (::access("/run/systemd/system", F_OK) != 0) return {};
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "/usr/bin:/bin";
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    const std::string folder(folders.substr(0, colon));
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    if (folder.empty()) continue;
    const std::string candidate = folder + "/systemctl";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

SystemctlRunner MakeSystemctlRunner(const std::string& systemctl) {
  return [systemctl](const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {systemctl, "--user"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return CommandOutput(argv, kSystemctlTimeoutMs).has_value();
  };
}

Status InstallWatchSchedule(const WatchSchedule& schedule, const std::string& unitFolder,
                            const SystemctlRunner& systemctl) {
  std::string service;
  if (Status rendered = RenderWatchService(schedule, service); !rendered.ok()) return rendered;
  std::error_code error;
  std::filesystem::create_directories(unitFolder, error);
  if (error) {
    return Status::IoError("cannot create the folder " + unitFolder, error.message());
  }
  const std::string name = WatchUnitName(schedule.document);
  const std::string base = unitFolder + "/" + name;
  if (Status written = WriteFileAtomically(base + ".service", service); !written.ok()) {
    return written;
  }
  if (Status written = WriteFileAtomically(base + ".timer", RenderWatchTimer(schedule));
      !written.ok()) {
    return written;
  }
  if (!systemctl({"daemon-reload"})) {
    return Status::IoError("systemctl --user daemon-reload failed; the units are written in " +
                           unitFolder);
  }
  if (!systemctl({"enable", "--now", name + ".timer"})) {
    return Status::IoError("systemctl --user enable --now " + name + ".timer failed");
  }
  return Status::Ok();
}

Status RemoveWatchSchedule(const std::string& document, const std::string& unitFolder,
                           const SystemctlRunner& systemctl) {
  const std::string name = WatchUnitName(document);
  const std::string base = unitFolder + "/" + name;
  std::error_code error;
  const bool hadTimer = std::filesystem::exists(base + ".timer", error);
  // A timer that is not enabled makes this fail; the files go all the same.
  if (hadTimer) systemctl({"disable", "--now", name + ".timer"});
  for (const char* suffix : {".timer", ".service"}) {
    std::filesystem::remove(base + suffix, error);
    if (error) return Status::IoError("cannot remove " + base + suffix, error.message());
  }
  if (hadTimer && !systemctl({"daemon-reload"})) {
    return Status::IoError("systemctl --user daemon-reload failed");
  }
  return Status::Ok();
}

}  // namespace trovelane
