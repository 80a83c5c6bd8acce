// trovelane-cli settings: print every setting of "qmknet.dat" and
// "trovelane.json" (the proxy password masked) and change one. Everything the
// Internet Settings dialog, the search option pages and the result view
// options configure has a key.
#include <algorithm>
#include <charconv>
#include <functional>
#include <iostream>
#include <memory>

#include "app/program_options_file.h"
#include "app/settings_file.h"
#include "cli/program.h"
#include "engines/profile.h"
#include "net/base64.h"
#include "net/credentials.h"
#include "platform/ascii.h"
#include "search/request_builder.h"

namespace trovelane::cli {
namespace {

// A value that cannot be taken ends the command with this text.
struct BadValue {
  std::string why;
};

std::string Lower(std::string text) {
  for (char& c : text) c = ToLowerAscii(c);
  return text;
}

// `text` as a whole decimal number within [low, high].
long long Number(const std::string& text, long long low, long long high) {
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) throw BadValue{"not a number"};
  if (value < low || value > high) {
    throw BadValue{"out of range " + std::to_string(low) + ".." + std::to_string(high)};
  }
  return value;
}

int32_t OnOff(const std::string& text) {
  std::string v = Lower(text);
  if (v == "on" || v == "1" || v == "yes" || v == "true") return 1;
  if (v == "off" || v == "0" || v == "no" || v == "false") return 0;
  throw BadValue{"use on or off"};
}

std::string ShowOnOff(int32_t flag) { return flag ? "on" : "off"; }

// A code given by one of its names (any case) or by its number.
int32_t Choice(const std::string& text, const std::vector<std::vector<std::string>>& names) {
  std::string v = Lower(text);
  for (size_t code = 0; code < names.size(); ++code) {
    for (const std::string& name : names[code]) {
      if (v == Lower(name)) return static_cast<int32_t>(code);
    }
  }
  std::string all;
  for (const auto& n : names) all += (all.empty() ? "" : ", ") + n.front();
  try {
    return static_cast<int32_t>(Number(text, 0, static_cast<long long>(names.size()) - 1));
  } catch (const BadValue&) {
    throw BadValue{"use one of " + all};
  }
}

std::string ShowChoice(int32_t code, const std::vector<std::vector<std::string>>& names) {
  if (code < 0 || code >= static_cast<int32_t>(names.size())) return std::to_string(code);
  return names[code].front() + " (" + names[code].back() + ")";
}

const std::vector<std::vector<std::string>> kProxyTypes = {{"cern", "CERN"}, {"socks5", "SOCKS 5"}};
const std::vector<std::vector<std::string>> kValidationModes = {
    {"none", "No validation and relevancy check (Fast)"},
    {"validate", "Validation only."},
    {"relevance", "Validation with relevancy checking."},
    {"auto", "Auto (Recommended)"}};
const std::vector<std::vector<std::string>> kOperators = {{"and", "AND"}, {"or", "OR"}};
const std::vector<std::vector<std::string>> kDuplicateModes = {
    {"url", "Remove duplicate URL's"}, {"title", "Remove duplicate Title's"}, {"none", "None"}};
const std::vector<std::vector<std::string>> kResultScopes = {{"all", "from all engines."},
                                                             {"engine", "per engine."}};
const char* const kWeightKeys[kWeightCount] = {
    "weight.title",    "weight.heading1",   "weight.heading2",   "weight.heading3",
    "weight.heading4", "weight.font-size6", "weight.font-size3", "weight.none"};

Credentials CurrentCredentials(const ProxySettings& proxy) {
  return SplitCredentials(Base64Decode(proxy.credentials));
}

void SetCredentials(ProxySettings& proxy, const Credentials& c) {
  // Every ":" of the stored text ends the user name, so neither part may hold one.
  if (Status check = CheckCredentials(c); !check.ok()) throw BadValue{check.message()};
  proxy.credentials = c.user.empty() && c.password.empty() ? "" : EncodeCredentials(c);
  if (proxy.credentials.size() >= kCredentialsFieldSize) {
    throw BadValue{"user and password are too long together"};
  }
}

std::string Text(const std::string& value, size_t fieldSize) {
  if (value.size() >= fieldSize) {
    throw BadValue{"longer than " + std::to_string(fieldSize - 1) + " bytes"};
  }
  return value;
}

struct Setting {
  std::string key;
  std::function<std::string(const NetworkSettings&)> show;
  std::function<void(NetworkSettings&, const std::string&)> set;  // null: read only
  bool searchOption = false;  // changing it recomputes maxRelevance, as the option pages do
  const char* note = "";      // shown after the value
  bool programOption = false;  // kept in "trovelane.json", not "qmknet.dat"
};

std::vector<Setting> Settings() {
  std::vector<Setting> s = {
      {"proxy", [](auto& n) { return ShowOnOff(n.proxy.enabled); },
       [](auto& n, auto& v) { n.proxy.enabled = OnOff(v); }},
      {"proxy.host", [](auto& n) { return n.proxy.host; },
       [](auto& n, auto& v) { n.proxy.host = Text(v, kHostFieldSize); }},
      {"proxy.port", [](auto& n) { return std::to_string(n.proxy.port); },
       [](auto& n, auto& v) { n.proxy.port = static_cast<int32_t>(Number(v, 0, 65535)); }},
      {"proxy.type", [](auto& n) { return ShowChoice(n.proxy.type, kProxyTypes); },
       [](auto& n, auto& v) { n.proxy.type = Choice(v, kProxyTypes); }},
      {"proxy.auth", [](auto& n) { return ShowOnOff(n.proxy.requiresAuth); },
       [](auto& n, auto& v) { n.proxy.requiresAuth = OnOff(v); }},
      {"proxy.user", [](auto& n) { return CurrentCredentials(n.proxy).user; },
       [](auto& n, auto& v) {
         Credentials c = CurrentCredentials(n.proxy);
         c.user = v;
         SetCredentials(n.proxy, c);
       }},
      {"proxy.password",
       [](auto& n) { return CurrentCredentials(n.proxy).password.empty() ? "" : "********"; },
       [](auto& n, auto& v) {
         Credentials c = CurrentCredentials(n.proxy);
         c.password = v;
         SetCredentials(n.proxy, c);
       }},
      {"speed",
       [](auto& n) {
         int32_t i = n.proxy.speedIndex;
         bool known = i >= 0 && i < static_cast<int32_t>(kSpeedLabels.size());
         return std::to_string(i) + (known ? std::string(" (") + kSpeedLabels[i] + ")" : "");
       },
       [](auto& n, auto& v) {
         std::vector<std::vector<std::string>> labels;
         for (const char* label : kSpeedLabels) labels.push_back({label});
         n.proxy.speedIndex = Choice(v, labels);
       }},
      {"browser", [](auto& n) { return n.proxy.browserPath; },
       [](auto& n, auto& v) { n.proxy.browserPath = Text(v, kBrowserPathFieldSize); }},
      {"results.max", [](auto& n) { return std::to_string(n.search.maxResults); },
       [](auto& n, auto& v) {
         n.search.maxResults = static_cast<int32_t>(Number(v, 0, INT32_MAX));
       },
       true},
      {"results.per", [](auto& n) { return ShowChoice(n.search.perEngine, kResultScopes); },
       [](auto& n, auto& v) {
         n.search.perEngine = static_cast<uint8_t>(Choice(v, kResultScopes));
       },
       true},
      {"validation", [](auto& n) { return ShowChoice(n.search.validationMode, kValidationModes); },
       [](auto& n, auto& v) { n.search.validationMode = Choice(v, kValidationModes); }, true},
      {"relevance.min", [](auto& n) { return std::to_string(n.search.minRelevancy); },
       [](auto& n, auto& v) { n.search.minRelevancy = static_cast<int32_t>(Number(v, 0, 100)); },
       true},
      {"operator",
       [](auto& n) { return ShowChoice(n.search.defaultOperator > 0 ? 1 : 0, kOperators); },
       [](auto& n, auto& v) { n.search.defaultOperator = Choice(v, kOperators); }, true},
      {"duplicates", [](auto& n) { return ShowChoice(n.search.duplicateMode, kDuplicateModes); },
       [](auto& n, auto& v) { n.search.duplicateMode = Choice(v, kDuplicateModes); }, true},
  };
  for (int w = 0; w < kWeightCount; ++w) {
    s.push_back({kWeightKeys[w], [w](auto& n) { return std::to_string(n.search.weights[w]); },
                 [w](auto& n, auto& v) {
                   n.search.weights[w] = static_cast<int16_t>(Number(v, INT16_MIN, INT16_MAX));
                 },
                 true});
  }
  s.push_back({"relevance.max", [](auto& n) { return std::to_string(n.search.maxRelevance); },
               nullptr, false, "  (from the weights)"});
  s.push_back({"view.full-row", [](auto& n) { return ShowOnOff(n.view.fullRowSelect); },
               [](auto& n, auto& v) { n.view.fullRowSelect = OnOff(v); }});
  s.push_back({"view.grid-lines", [](auto& n) { return ShowOnOff(n.view.gridLines); },
               [](auto& n, auto& v) { n.view.gridLines = OnOff(v); }});
  s.push_back({"view.tool-tips", [](auto& n) { return ShowOnOff(n.view.toolTips); },
               [](auto& n, auto& v) { n.view.toolTips = OnOff(v); }});
  s.push_back({"timeout.connect",
               [](auto& n) { return std::to_string(n.program.connectTimeoutSeconds); },
               [](auto& n, auto& v) {
                 n.program.connectTimeoutSeconds =
                     static_cast<int32_t>(Number(v, 0, kMaxTimeoutSeconds));
               },
               false, "  (seconds; 0 = none)", true});
  s.push_back({"timeout.read",
               [](auto& n) { return std::to_string(n.program.readTimeoutSeconds); },
               [](auto& n, auto& v) {
                 n.program.readTimeoutSeconds =
                     static_cast<int32_t>(Number(v, 0, kMaxTimeoutSeconds));
               },
               false, "  (seconds; 0 = none)", true});
  s.push_back({"pages.max", [](auto& n) { return std::to_string(n.program.maxPagesPerEngine); },
               [](auto& n, auto& v) {
                 n.program.maxPagesPerEngine =
                     static_cast<int32_t>(Number(v, 1, kMaxPagesPerEngineLimit));
               },
               false, "  (result pages per engine)", true});
  s.push_back({"validation.per-engine",
               [](auto& n) { return std::to_string(n.program.validationsPerEngine); },
               [](auto& n, auto& v) {
                 n.program.validationsPerEngine =
                     static_cast<int32_t>(Number(v, 1, kMaxValidationsLimit));
               },
               false, "  (validation fetches of one engine at once)", true});
  s.push_back({"validation.per-search",
               [](auto& n) { return std::to_string(n.program.validationsPerSearch); },
               [](auto& n, auto& v) {
                 n.program.validationsPerSearch =
                     static_cast<int32_t>(Number(v, 1, kMaxValidationsLimit));
               },
               false, "  (validation fetches of a search at once)", true});
  s.push_back({"watch.checks", [](auto& n) { return std::to_string(n.program.maxWatchChecks); },
               [](auto& n, auto& v) {
                 n.program.maxWatchChecks =
                     static_cast<int32_t>(Number(v, 0, kMaxWatchChecksLimit));
               },
               false, "  (pages a watch checks for being gone, per run)", true});
  s.push_back({"user-agent", [](auto& n) { return n.program.userAgent; },
               [](auto& n, auto& v) {
                 if (Status agent = CheckUserAgent(v); !agent.ok()) throw BadValue{agent.message()};
                 n.program.userAgent = v;
               },
               false, "", true});
  s.push_back({"contact", [](auto& n) { return n.program.contact; },
               [](auto& n, auto& v) {
                 ProgramOptions check = n.program;
                 check.contact = v;
                 if (Status ok = CheckProgramOptions(check); !ok.ok()) throw BadValue{ok.message()};
                 n.program.contact = v;
               },
               false, "  (named by engines whose User-Agent asks for it)", true});
  s.push_back({"searxng", [](auto& n) { return n.program.searxng; },
               [](auto& n, auto& v) {
                 if (Status ok = CheckInstanceAddress(v); !ok.ok()) throw BadValue{ok.message()};
                 n.program.searxng = v;
               },
               false, "  (the SearXNG instance the SearXNG engine searches)", true});
  s.push_back({"rank.hide", [](auto& n) { return FormatDomainList(n.program.hiddenDomains); },
               [](auto& n, auto& v) {
                 if (Status parsed = ParseDomainList(v, &n.program.hiddenDomains); !parsed.ok()) {
                   throw BadValue{parsed.message()};
                 }
               },
               false, "  (domains never listed)", true});
  s.push_back({"rank.domains", [](auto& n) { return FormatDomainFactors(n.program.domainFactors); },
               [](auto& n, auto& v) {
                 if (Status parsed = ParseDomainFactors(v, &n.program.domainFactors);
                     !parsed.ok()) {
                   throw BadValue{parsed.message()};
                 }
               },
               false, "  (DOMAIN=FACTOR: rank factors)", true});
  s.push_back({"read-chunk", [](auto& n) { return std::to_string(n.readChunkSize); }, nullptr,
               false, "  (from the speed, at start-up)"});
  return s;
}

void RunShow(const GlobalOptions& global) {
  ProgramState state = OpenProgram(global);
  for (const Setting& s : Settings()) {
    std::cout << s.key << " = " << s.show(state.settings) << s.note << "\n";
  }
}

void RunSet(const GlobalOptions& global, const std::string& key, const std::string& value) {
  std::vector<Setting> settings = Settings();
  auto it = std::find_if(settings.begin(), settings.end(),
                         [&](const Setting& s) { return s.key == key; });
  if (it == settings.end())
    Fail("No setting is called \"" + key + "\"; \"settings\" lists them.", kExitUsage);
  if (!it->set) Fail(key + " follows from other settings and cannot be set.", kExitUsage);

  ProgramState state = OpenProgram(global);
  try {
    it->set(state.settings, value);
  } catch (const BadValue& bad) {
    Fail(key + ": \"" + value + "\": " + bad.why, kExitUsage);
  }
  if (it->searchOption)
    state.settings.search.maxRelevance = ComputeMaxRelevance(state.settings.search.weights);
  Status saved =
      it->programOption
          ? SaveProgramOptions(state.ProgramOptionsFile(), state.settings.program)
          : SaveNetworkSettings(state.SettingsFile(), state.settings);
  if (!saved.ok()) Fail(saved.message());
  std::cout << key << " = " << it->show(state.settings) << "\n";
  // An engine that waits for the instance's address is searched from the
  // moment it is given.
  if (key == "searxng" && !value.empty()) {
    std::vector<std::string> selected;
    if (Status taken = SelectInstanceEngines(state, &selected); !taken.ok()) Fail(taken.message());
    for (const std::string& name : selected) {
      std::cout << "Selected " << name << " in the current profile.\n";
    }
  }
}

}  // namespace

void AddSettingsCommands(CLI::App& app, GlobalOptions& global) {
  struct Options {
    std::string key;
    std::string value;
  };
  auto options = std::make_shared<Options>();
  CLI::App* settings = app.add_subcommand(
      "settings", "Print every setting of qmknet.dat and trovelane.json (the password masked)");
  settings->require_subcommand(0, 1);
  CLI::App* set = settings->add_subcommand("set", "Change one setting and save its file");
  set->add_option("KEY", options->key, "A key as \"settings\" lists it")->required();
  set->add_option("VALUE", options->value, "The new value")->required();
  set->callback([&global, options] { RunSet(global, options->key, options->value); });
  settings->callback([&global, settings] {
    if (settings->get_subcommands().empty()) RunShow(global);
  });
}

}  // namespace trovelane::cli
