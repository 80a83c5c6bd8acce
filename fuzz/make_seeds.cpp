// Writes small, valid inputs that cover a reader's paths, as the starting
// corpus of its fuzz target:  make_seeds NAME DIR
// NAME is the target's name without "_fuzzer"; a name without generated
// seeds writes nothing (its seeds, if any, live in fuzz/seeds/NAME/).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "engines/engine_file.h"
#include "engines/profile.h"
#include "app/settings_file.h"
#include "results/archive.h"
#include "results/document_format.h"
#include "tests/support/gif_encoder.h"

using namespace trovelane;
using namespace trovelane::test;

namespace {

GifImageOptions Frame(int width, int height, int colors) {
  GifImageOptions image;
  image.width = width;
  image.height = height;
  for (int i = 0; i < width * height; ++i) {
    image.pixels.push_back(static_cast<std::uint8_t>((i * 5 + i / 7) % colors));
  }
  return image;
}

void Write(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

EngineDefinition FullEngine(int technique) {
  EngineDefinition e;
  e.name = "Sample " + std::to_string(technique);
  e.searchUrl = "http://127.0.0.1:8080/search.cgi";
  e.searchTextId = "q";
  e.resultId = "start";
  e.iterationTechnique = technique;
  e.resultsPerPage = 10;
  e.method = technique % 2;
  e.useBoolean = 1;
  e.andOperator = "AND";
  e.orOperator = "OR";
  e.notOperator = "NOT";
  e.exactOperator = "\"";
  for (int role = 0; role < 3; ++role) {
    EngineParameter p;
    p.name = "p" + std::to_string(role);
    p.defaultValue = role == 2 ? kFromPageMarker : "v";
    p.roleCode = role;
    e.parameters.push_back(p);
  }
  e.searchedFileTypes = {"htm", "html"};
  e.autoAddFileTypes = {"pdf"};
  e.skippedDomains = {"ads.example"};
  e.skippedUrls = {"/help"};
  e.linkType = technique % 2;
  e.indirectLinkName = "url";
  e.referer = "http://127.0.0.1/";
  e.cookieUrls = {"http://127.0.0.1:8080/cookie"};
  e.requiresCookies = 1;
  return e;
}

void EngineSeeds(const std::string& dir) {
  for (int technique = 0; technique < 6; ++technique) {
    std::ostringstream out;
    WriteEngineDefinition(FullEngine(technique), out).IgnoreError();  // the seed engines are valid
    Write(dir + "/technique" + std::to_string(technique) + ".eng", out.str());
  }
  EngineDefinition plugin;
  plugin.name = "Pages";
  plugin.searchUrl = "plugin";
  std::ostringstream out;
  WriteEngineDefinition(plugin, out).IgnoreError();  // the seed engines are valid
  Write(dir + "/plugin.eng", out.str());
}

void ProfileSeeds(const std::string& dir) {
  EngineCatalogue catalogue;
  catalogue.header = {1, 100, 3};
  for (int technique = 0; technique < 6; technique += 2) {
    catalogue.engines.push_back(FullEngine(technique));
  }
  std::string text;
  FormatProfile(catalogue, text).IgnoreError();  // the seed engines are valid
  Write(dir + "/three.prf", text);
  catalogue.engines.resize(1);
  FormatProfile(catalogue, text).IgnoreError();  // the seed engines are valid
  Write(dir + "/one.prf", text);
}

void SettingsSeeds(const std::string& dir) {
  NetworkSettings settings;
  std::string bytes;
  SerializeNetworkSettings(settings, bytes).IgnoreError();  // the seed settings fit their fields
  Write(dir + "/zero.dat", bytes);
  settings.proxy.enabled = 1;
  settings.proxy.host = "127.0.0.1";
  settings.proxy.port = 1080;
  settings.proxy.type = kProxySocks5;
  settings.proxy.requiresAuth = 1;
  settings.proxy.credentials = "dXNlcjpwYXNzd29yZA==";
  settings.proxy.speedIndex = 9;
  settings.proxy.browserPath = "/usr/bin/firefox";
  settings.search.maxResults = 200;
  settings.search.validationMode = kValidationAuto;
  settings.search.weights = {10, 9, 8, 7, 6, 5, 4, 3};
  settings.view.gridLines = 1;
  SerializeNetworkSettings(settings, bytes).IgnoreError();  // the seed settings fit their fields
  Write(dir + "/proxy.dat", bytes);
}

void DocumentSeeds(const std::string& dir) {
  ResultsStore store;
  Write(dir + "/empty.qmk", WriteResultsDocument(store));
  store.SetSearchText("travel & \"cheap flights\"");
  store.SetSortMode(6);
  store.AppendResult("http://127.0.0.1/a", "A title", "Engine A", 1, kValidatedReachable, 42);
  store.AppendResult("http://127.0.0.1/" + std::string(300, 'b'), std::string(255, 't'), "B", 0,
                     kValidatedUnreachable, -1);
  store.AppendResult("", "", "", 0, kNotValidated, 0);
  Write(dir + "/three.qmk", WriteResultsDocument(store));
  // The same, watched: version 26.
  WatchedSearch watched;
  watched.engines = {"Engine A", "B"};
  watched.maxResults = 100;
  watched.lastWatch = 1'800'000'000;
  store.SetWatchedSearch(watched);
  store.record(0).EnsureWatch() = {1'700'000'000, 1'800'000'000, 0, WatchState::kKept};
  store.record(1).EnsureWatch() = {1'700'000'000, 1'700'000'000, 1'800'000'000, WatchState::kDead};
  Write(dir + "/watched.qmk", WriteResultsDocument(store));
  // The two older versions, which are read but never written.
  for (int version : {22, 20}) {
    ArchiveWriter w;
    w.WriteString(version == 22 ? kSignatureVersion22 : kSignatureVersion20);
    w.WriteString("old search");
    if (version == 22) w.WriteI32(3);
    w.WriteI32(2);
    for (int i = 0; i < 2; ++i) {
      w.WriteString("http://127.0.0.1/old" + std::to_string(i));
      w.WriteString("Old engine");
      w.WriteString("Old title");
      if (version == 22) {
        w.WriteU8(1);
        w.WriteU8(2);
      } else {
        w.WriteI32(0x10001);
      }
    }
    Write(dir + "/version" + std::to_string(version) + ".qmk", w.bytes());
  }
}

void GifSeeds(const std::string& dir) {
  Write(dir + "/plain87a.gif",
        GifBuilder(8, 4, "87a").GlobalTable(DistinctColors(256)).Image(Frame(8, 4, 256)).Finish());
  Write(dir + "/sixteen.gif",
        GifBuilder(5, 3).GlobalTable(DistinctColors(16)).Image(Frame(5, 3, 16)).Finish());
  GifImageOptions local = Frame(3, 3, 4);
  local.localTable = DistinctColors(4);
  local.interlaced = true;
  Write(dir + "/local_interlaced.gif",
        GifBuilder(3, 3).GlobalTable(DistinctColors(8)).Image(local).Finish());
  Write(dir + "/animated.gif",
        GifBuilder(4, 4)
            .GlobalTable(DistinctColors(16))
            .Extension(0xFF, {Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'},
                              Bytes{1, 0, 0}})
            .GraphicControl(2, 10)
            .Image(Frame(4, 4, 16))
            .Extension(0xFE, {Bytes{'h', 'i'}})
            .Image(Frame(2, 2, 16))
            .Finish());
  Write(dir + "/no_table.gif", GifBuilder(6, 2).Image(Frame(6, 2, 2)).Finish());
  GifImageOptions full = Frame(64, 64, 256);
  full.clearWhenFull = false;
  Write(dir + "/full_table.gif",
        GifBuilder(64, 64).GlobalTable(DistinctColors(256)).Image(full).Finish());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds NAME DIR\n");
    return 2;
  }
  const std::string name = argv[1];
  const std::string dir = argv[2];
  if (name == "gif_init") GifSeeds(dir);
  if (name == "engine_file") EngineSeeds(dir);
  if (name == "profile") ProfileSeeds(dir);
  if (name == "settings_file") SettingsSeeds(dir);
  if (name == "results_document") DocumentSeeds(dir);
  return 0;
}
