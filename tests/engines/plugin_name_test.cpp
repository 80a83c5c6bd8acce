#include "engines/plugin_name.h"

#include <gtest/gtest.h>

#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

const std::vector<std::filesystem::path> kFolders = {"/nonexistent-plugins", TEST_PLUGIN_DIR};

EngineDefinition PluginEngine(const std::string& file) {
  EngineDefinition e;
  e.isPlugin = true;
  e.searchUrl = "plugin";
  e.name = file;
  return e;
}

TEST(PluginNameTest, AsksTheLibraryFoundInTheFirstFolderThatHoldsIt) {
  EXPECT_EQ(PluginDisplayName(PluginEngine("tlgood.so"), kFolders), "Test Pages Plugin");
  // A profile from the Windows version names the ".dll".
  EXPECT_EQ(PluginDisplayName(PluginEngine("tlgood.DLL"), kFolders), "Test Pages Plugin");
  EXPECT_EQ(EngineDisplayName(PluginEngine("tlgood.dll"), kFolders), "Test Pages Plugin");

  EngineDefinition plain;
  plain.name = "tlgood.so";
  EXPECT_EQ(EngineDisplayName(plain, kFolders), "tlgood.so");
}

TEST(PluginNameTest, AnyFailureGivesBadPlugin) {
  // Missing library, a file that is no library, no export, a name that does
  // not fit 1024 bytes, a path instead of a plain file name.
  testing::ScratchFolder folder;
  testing::WriteFileBytes(folder.File("junk.so"), "not a library");
  std::vector<std::filesystem::path> folders = {folder.path(), TEST_PLUGIN_DIR};
  for (const char* name :
       {"missing.so", "junk.so", "tlnoexport.so", "tllongname.so", "../engines/tlgood.so", ""}) {
    EXPECT_EQ(PluginDisplayName(PluginEngine(name), folders), kBadPluginName) << name;
  }
  EXPECT_EQ(PluginLibraryFileName("a.dll.txt"), "a.dll.txt");
  EXPECT_EQ(PluginLibraryFileName(".dll"), ".dll");
}

}  // namespace
}  // namespace trovelane
