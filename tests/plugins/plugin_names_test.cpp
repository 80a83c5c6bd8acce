// The delivered plug-ins as libraries: their five exports, display names by
// the exact-length rule, and their operator spellings.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "engines/plugin_name.h"
#include "plugins/plugin_api.h"

namespace trovelane {
namespace {

struct Delivered {
  const char* library;
  const char* displayName;
  const char* andText;
  const char* orText;
  const char* notText;
};

const Delivered kDelivered[] = {
    {"plgpages", "plgpages", "%2B", "+", "%20-"},
    {"plgfinance", "Forbes Finance", "+AND+", "+OR+", "+NOT+"},
    {"plgdownloads", "ZDNET Hotfiles", "%2B", "+", "%20-"},
    {"plgresearch", "Northern Light", "%2B", "+", "%20-"},
    {"plgbiznews", "plgnews Finance Network", "+AND+", "+OR+", "+NOT+"},
    {"plgnews", "plgnews.com", "+AND+", "+OR+", "+NOT+"},
    {"plgsports", "plgnews Sports Illustrated", "+AND+", "+OR+", "+NOT+"},
};

void PrintTo(const Delivered& delivered, std::ostream* out) { *out << delivered.library; }

class DeliveredPlugin : public ::testing::TestWithParam<Delivered> {
 protected:
  void SetUp() override {
    path_ = std::string(SITE_PLUGIN_DIR) + "/" + GetParam().library + ".so";
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  void* Export(const char* name) { return dlsym(handle_, name); }

  std::string path_;
  void* handle_ = nullptr;
};

TEST_P(DeliveredPlugin, ExportsTheFiveEntryPoints) {
  for (const char* name :
       {QM_GET_PLUGIN_NAME_EXPORT, QM_PLUGIN_INITIALIZE_EXPORT, QM_GET_BOOLEAN_OPERATORS_EXPORT,
        QM_PERFORM_SEARCH_ITERATION_EXPORT, QM_PLUGIN_TERMINATE_EXPORT}) {
    EXPECT_NE(Export(name), nullptr) << name;
  }
}

TEST_P(DeliveredPlugin, NameNeedsRoomForItsTerminator) {
  auto getName = reinterpret_cast<QMGetPluginNameFunction>(Export(QM_GET_PLUGIN_NAME_EXPORT));
  ASSERT_NE(getName, nullptr);
  const std::string name = GetParam().displayName;
  const int32_t length = static_cast<int32_t>(name.size());
  std::string buffer(name.size() + 8, '#');
  // Exactly as long as the name: no room for the terminator, nothing written.
  EXPECT_EQ(getName(buffer.data(), length), length);
  EXPECT_EQ(buffer, std::string(name.size() + 8, '#'));
  EXPECT_EQ(getName(buffer.data(), 0), length);
  EXPECT_EQ(getName(buffer.data(), -5), length);
  EXPECT_EQ(buffer, std::string(name.size() + 8, '#'));
  // One more byte is enough.
  EXPECT_EQ(getName(buffer.data(), length + 1), 0);
  EXPECT_STREQ(buffer.c_str(), name.c_str());
  EXPECT_EQ(buffer[name.size() + 1], '#');

  EngineDefinition engine;
  engine.isPlugin = true;
  engine.name = std::string(GetParam().library) + ".dll";  // as a profile of the Windows version names it
  EXPECT_EQ(PluginDisplayName(engine, {SITE_PLUGIN_DIR}), name);
}

TEST_P(DeliveredPlugin, SpellsTheOperatorsOfItsSite) {
  auto get = reinterpret_cast<QMGetBooleanOperatorsFunction>(
      Export(QM_GET_BOOLEAN_OPERATORS_EXPORT));
  ASSERT_NE(get, nullptr);
  BooleanOperators operators{};
  EXPECT_EQ(get(&operators), &operators);
  EXPECT_STREQ(operators.andOperator, GetParam().andText);
  EXPECT_STREQ(operators.orOperator, GetParam().orText);
  EXPECT_STREQ(operators.notOperator, GetParam().notText);
  EXPECT_STREQ(operators.exactOperator, "%22");
  EXPECT_EQ(get(nullptr), nullptr);
}

TEST_P(DeliveredPlugin, IteratesNothingBeforeItIsInitialised) {
  auto iterate = reinterpret_cast<QMPerformSearchIterationFunction>(
      Export(QM_PERFORM_SEARCH_ITERATION_EXPORT));
  auto terminate = reinterpret_cast<QMPluginTerminateFunction>(Export(QM_PLUGIN_TERMINATE_EXPORT));
  ASSERT_NE(iterate, nullptr);
  EXPECT_EQ(iterate("word"), 0);
  terminate();  // harmless without a run
}

INSTANTIATE_TEST_SUITE_P(All, DeliveredPlugin, ::testing::ValuesIn(kDelivered),
                         [](const auto& info) { return std::string(info.param.library); });

}  // namespace
}  // namespace trovelane
