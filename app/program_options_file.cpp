#include "app/program_options_file.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "engines/engine_extensions.h"
#include "net/url.h"
#include "platform/ascii.h"
#include "platform/small_file.h"

namespace trovelane {
namespace {

using Json = nlohmann::ordered_json;

struct Field {
  const char* key;
  int32_t ProgramOptions::*member;
  int32_t low;
  int32_t high;
};

constexpr Field kFields[] = {
    {"connectTimeoutSeconds", &ProgramOptions::connectTimeoutSeconds, 0, kMaxTimeoutSeconds},
    {"readTimeoutSeconds", &ProgramOptions::readTimeoutSeconds, 0, kMaxTimeoutSeconds},
    {"maxPagesPerEngine", &ProgramOptions::maxPagesPerEngine, 1, kMaxPagesPerEngineLimit},
    {"watchChecksPerRun", &ProgramOptions::maxWatchChecks, 0, kMaxWatchChecksLimit},
    {"validationsPerEngine", &ProgramOptions::validationsPerEngine, 1, kMaxValidationsLimit},
    {"validationsPerSearch", &ProgramOptions::validationsPerSearch, 1, kMaxValidationsLimit},
};

std::string Range(const Field& f) {
  return std::to_string(f.low) + ".." + std::to_string(f.high);
}

// Reads the whole file into `text`. kNotFound (no message) when it does not
// exist; kIoError, with the message for the user, when it cannot be read as
// a regular file of at most 1 MiB (the file is small by nature).
Status ReadWhole(const std::string& path, std::string& text) {
  Status read = ReadSmallFile(path, 1 << 20, text);
  if (read.ok() || read.code() == Status::Code::kNotFound) return read;
  return Status::IoError(read.message() + "; the defaults are used");
}

Json ParseObject(const std::string& text) {
  Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  return json.is_object() ? json : Json();
}

// The pieces of a list written with commas or blanks between.
std::vector<std::string_view> ListItems(std::string_view text) {
  std::vector<std::string_view> items;
  for (size_t at = 0; at < text.size();) {
    while (at < text.size() && (text[at] == ',' || IsAsciiBlank(text[at]))) ++at;
    const size_t from = at;
    while (at < text.size() && text[at] != ',' && !IsAsciiBlank(text[at])) ++at;
    if (at > from) items.push_back(text.substr(from, at - from));
  }
  return items;
}

constexpr size_t kMaxContactBytes = 255;

}  // namespace

Status CheckContact(const std::string& contact, std::string_view field) {
  if (contact.size() > kMaxContactBytes) {
    return Status::InvalidArgument(std::string(field) + " is longer than " +
                                   std::to_string(kMaxContactBytes) + " bytes");
  }
  for (char c : contact) {
    // It goes out inside a User-Agent line.
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return Status::InvalidArgument(std::string(field) + " holds a control character");
    }
  }
  return Status::Ok();
}

Status CheckInstanceAddress(const std::string& address, std::string_view field) {
  if (address.empty()) return Status::Ok();
  Url url;
  if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://")) {
    return Status::InvalidArgument(std::string(field) + " must begin with http:// or https://");
  }
  if (address.find_first_of("?# ") != std::string::npos || !ParseUrl(address, &url).ok() ||
      url.host.empty()) {
    return Status::InvalidArgument(std::string(field) + " is not a web address: " + address);
  }
  return Status::Ok();
}

Status CheckDomain(std::string_view domain) {
  if (domain.empty()) return Status::InvalidArgument("a domain is empty");
  if (domain.size() > 253) return Status::InvalidArgument("a domain is longer than 253 bytes");
  for (char c : domain) {
    if (!IsAsciiLetterOrDigit(c) && c != '-' && c != '.') {
      return Status::InvalidArgument("\"" + std::string(domain) + "\" is not a domain");
    }
  }
  return Status::Ok();
}

Status ParseDomainList(std::string_view text, std::vector<std::string>* domains) {
  std::vector<std::string> parsed;
  for (std::string_view item : ListItems(text)) {
    if (Status domain = CheckDomain(item); !domain.ok()) return domain;
    parsed.emplace_back(item);
  }
  *domains = std::move(parsed);
  return Status::Ok();
}

std::string FormatDomainList(const std::vector<std::string>& domains) {
  std::string text;
  for (const std::string& domain : domains) text += (text.empty() ? "" : ", ") + domain;
  return text;
}

Status ParseDomainFactors(std::string_view text, std::vector<DomainFactor>* factors) {
  std::vector<DomainFactor> parsed;
  for (std::string_view item : ListItems(text)) {
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      return Status::InvalidArgument("\"" + std::string(item) + "\" is not DOMAIN=FACTOR");
    }
    const std::string_view domain = item.substr(0, equals);
    if (Status checked = CheckDomain(domain); !checked.ok()) return checked;
    const std::optional<double> factor = ParseWeight(item.substr(equals + 1));
    if (!factor) {
      return Status::InvalidArgument("the factor of " + std::string(domain) +
                                     " must be a number above 0 and at most 1000");
    }
    parsed.push_back({std::string(domain), *factor});
  }
  *factors = std::move(parsed);
  return Status::Ok();
}

std::string FormatDomainFactors(const std::vector<DomainFactor>& factors) {
  std::string text;
  for (const DomainFactor& f : factors) {
    char number[32];
    const auto [end, ec] = std::to_chars(number, number + sizeof number, f.factor);
    text += (text.empty() ? "" : ", ") + f.domain + "=" +
            (ec == std::errc() ? std::string(number, end) : std::string("1"));
  }
  return text;
}

Status CheckUserAgent(const std::string& userAgent) {
  if (userAgent.empty()) return Status::InvalidArgument("userAgent is empty");
  if (userAgent.size() > kMaxUserAgentBytes) {
    return Status::InvalidArgument("userAgent is longer than " +
                                   std::to_string(kMaxUserAgentBytes) + " bytes");
  }
  // trovelane.json is UTF-8 text, and so is what a header line may carry.
  if (!IsValidUtf8(userAgent)) return Status::InvalidArgument("userAgent is not UTF-8 text");
  for (char c : userAgent) {
    // It goes out as a header line as it stands.
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      return Status::InvalidArgument("userAgent holds a control character");
    }
  }
  return Status::Ok();
}

Status CheckProgramOptions(const ProgramOptions& options) {
  for (const Field& f : kFields) {
    int32_t v = options.*f.member;
    if (v < f.low || v > f.high) {
      return Status::InvalidArgument(std::string(f.key) + " is " + std::to_string(v) +
                                     ", out of range " + Range(f));
    }
  }
  if (Status agent = CheckUserAgent(options.userAgent); !agent.ok()) return agent;
  if (Status contact = CheckContact(options.contact); !contact.ok()) return contact;
  if (Status address = CheckInstanceAddress(options.searxng); !address.ok()) return address;
  for (const std::string& domain : options.hiddenDomains) {
    if (Status checked = CheckDomain(domain); !checked.ok()) {
      return Status::InvalidArgument("hiddenDomains: " + checked.message());
    }
  }
  for (const DomainFactor& f : options.domainFactors) {
    if (Status checked = CheckDomain(f.domain); !checked.ok()) {
      return Status::InvalidArgument("domainFactors: " + checked.message());
    }
    if (!(f.factor > 0 && f.factor <= kMaxWeight)) {
      return Status::InvalidArgument("domainFactors: the factor of " + f.domain +
                                     " must be a number above 0 and at most 1000");
    }
  }
  for (const ResolveEntry& entry : options.resolve) {
    ResolveEntry parsed;
    if (Status read = ParseResolveEntry(FormatResolveEntry(entry), &parsed); !read.ok()) {
      return Status::InvalidArgument("resolve: " + read.message());
    }
  }
  return Status::Ok();
}

ProgramOptionsLoad LoadProgramOptions(const std::string& path, ProgramOptions& options) {
  ProgramOptionsLoad load;
  options = {};
  std::string text;
  if (Status read = ReadWhole(path, text); !read.ok()) {
    // A file that is not there is no problem: every option has its default.
    if (read.code() != Status::Code::kNotFound) load.read = read;
    return load;
  }
  Json json = ParseObject(text);
  if (json.is_null()) {
    load.read = Status::Corruption(path + " is not a JSON object; the defaults are used");
    return load;
  }
  load.fileRead = true;
  // Every value not taken is named; the user hears of all of them at once.
  std::string problems;
  auto complain = [&](const std::string& text) {
    if (!problems.empty()) problems += "; ";
    problems += path + ": " + text;
  };
  for (const Field& f : kFields) {
    auto it = json.find(f.key);
    if (it == json.end()) continue;
    if (it->is_number_integer() && *it >= f.low && *it <= f.high) {
      options.*f.member = it->get<int32_t>();
    } else {
      complain(std::string(f.key) + " must be a whole number in " + Range(f) + "; the default " +
               std::to_string(options.*f.member) + " is used");
    }
  }
  if (auto it = json.find("userAgent"); it != json.end()) {
    Status agent = it->is_string() ? CheckUserAgent(it->get<std::string>())
                                   : Status::InvalidArgument("userAgent must be a text");
    if (agent.ok()) {
      options.userAgent = it->get<std::string>();
    } else {
      complain(agent.message() + "; the default User-Agent is used");
    }
  }
  if (auto it = json.find("resolve"); it != json.end()) {
    if (!it->is_array()) {
      complain("resolve must be a list of \"HOST:PORT:ADDR\" texts; it is left out");
    } else {
      for (const Json& item : *it) {
        ResolveEntry entry;
        const Status read = item.is_string() ? ParseResolveEntry(item.get<std::string>(), &entry)
                                             : Status::InvalidArgument("an entry is not a text");
        if (read.ok()) {
          options.resolve.push_back(entry);
        } else {
          complain("resolve: " + read.message() + "; that entry is left out");
        }
      }
    }
  }
  if (auto it = json.find("contact"); it != json.end()) {
    Status contact = it->is_string() ? CheckContact(it->get<std::string>())
                                     : Status::InvalidArgument("contact must be a text");
    if (contact.ok()) {
      options.contact = it->get<std::string>();
    } else {
      complain(contact.message() + "; the program's own address is used");
    }
  }
  if (auto it = json.find("searxng"); it != json.end()) {
    Status address = it->is_string() ? CheckInstanceAddress(it->get<std::string>())
                                     : Status::InvalidArgument("searxng must be a text");
    if (address.ok()) {
      options.searxng = it->get<std::string>();
    } else {
      complain(address.message() + "; no SearXNG instance is set");
    }
  }
  if (auto it = json.find("hiddenDomains"); it != json.end()) {
    if (!it->is_array()) {
      complain("hiddenDomains must be a list of domains; it is left out");
    } else {
      for (const Json& item : *it) {
        const Status checked = item.is_string() ? CheckDomain(item.get<std::string>())
                                                : Status::InvalidArgument("an entry is not a text");
        if (checked.ok()) {
          options.hiddenDomains.push_back(item.get<std::string>());
        } else {
          complain("hiddenDomains: " + checked.message() + "; that entry is left out");
        }
      }
    }
  }
  if (auto it = json.find("domainFactors"); it != json.end()) {
    if (!it->is_object()) {
      complain("domainFactors must map domains to numbers; it is left out");
    } else {
      for (const auto& [domain, factor] : it->items()) {
        const Status checked = CheckDomain(domain);
        const bool number =
            factor.is_number() && factor.get<double>() > 0 && factor.get<double>() <= kMaxWeight;
        if (checked.ok() && number) {
          options.domainFactors.push_back({domain, factor.get<double>()});
        } else {
          complain("domainFactors: " +
                   (checked.ok()
                        ? "the factor of " + domain + " must be a number above 0 and at most 1000"
                        : checked.message()) +
                   "; that entry is left out");
        }
      }
    }
  }
  if (!problems.empty()) load.read = Status::Corruption(problems);
  return load;
}

Status SaveProgramOptions(const std::string& path, const ProgramOptions& options) {
  if (Status checked = CheckProgramOptions(options); !checked.ok()) {
    return Status::InvalidArgument("cannot save " + path + ": " + checked.message());
  }
  // The unknown keys of the old file are kept. An old file that cannot be
  // read has none to keep; the save then replaces it whole.
  std::string old;
  const bool readable = ReadWhole(path, old).ok();
  Json json = readable ? ParseObject(old) : Json();
  if (json.is_null()) json = Json::object();
  for (const Field& f : kFields) json[f.key] = options.*f.member;
  json["userAgent"] = options.userAgent;
  // An empty list is not written, so that a file without overrides stays so.
  if (options.resolve.empty()) {
    json.erase("resolve");
  } else {
    Json list = Json::array();
    for (const ResolveEntry& entry : options.resolve) list.push_back(FormatResolveEntry(entry));
    json["resolve"] = list;
  }
  // The contact and the domain rules are written only when set, so that a
  // file without them stays as it was.
  if (options.contact == kDefaultContact) {
    json.erase("contact");
  } else {
    json["contact"] = options.contact;
  }
  if (options.searxng.empty()) {
    json.erase("searxng");
  } else {
    json["searxng"] = options.searxng;
  }
  if (options.hiddenDomains.empty()) {
    json.erase("hiddenDomains");
  } else {
    json["hiddenDomains"] = options.hiddenDomains;
  }
  if (options.domainFactors.empty()) {
    json.erase("domainFactors");
  } else {
    Json factors = Json::object();
    for (const DomainFactor& f : options.domainFactors) factors[f.domain] = f.factor;
    json["domainFactors"] = factors;
  }
  return WriteFileAtomically(path, json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

}  // namespace trovelane
