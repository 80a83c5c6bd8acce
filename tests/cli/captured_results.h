// What the tests of captured pages and answers share: the capture files,
// the result URLs a `search --format json` run printed, and the figures
// (expected / read / in common) each case prints for the record.
#pragma once

#include <algorithm>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace trovelane::testing {

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The non-empty lines of a capture's `.expected` file: one URL each.
inline std::vector<std::string> ExpectedUrlsIn(const std::string& path) {
  std::vector<std::string> urls;
  std::istringstream in(ReadWhole(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) urls.push_back(line);
  }
  return urls;
}

// The result URLs of a JSON-lines search output, in order; `report` (may be
// null) gets the engine's report line.
inline std::vector<std::string> ResultUrlsOf(const std::string& out,
                                             nlohmann::json* report = nullptr) {
  std::vector<std::string> read;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] != '{') continue;
    const nlohmann::json json = nlohmann::json::parse(line);
    if (json.contains("url")) read.push_back(json["url"].get<std::string>());
    if (report && json.contains("engine")) *report = json;
  }
  return read;
}

inline void PrintCaptureFigures(const std::string& capture,
                                const std::vector<std::string>& expected,
                                const std::vector<std::string>& read) {
  const std::set<std::string> wanted(expected.begin(), expected.end());
  const auto common = std::count_if(read.begin(), read.end(),
                                    [&](const std::string& url) { return wanted.count(url) > 0; });
  std::cout << "[capture] " << capture << ": expected " << expected.size() << ", read "
            << read.size() << ", in common " << common << "\n";
}

}  // namespace trovelane::testing
