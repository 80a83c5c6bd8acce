// Internet Settings, Rank and Engine Options, Result View Options and Search
// Profiles.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

#include "engines/profile.h"
#include "engines/profile_list.h"
#include "net/base64.h"
#include "net/credentials.h"
#include "app/program_options_file.h"
#include "app/settings_file.h"
#include "tests/ui/dialog_test_support.h"
#include "ui/caption_fit.h"
#include "ui/dialogs/add_engine_dialog.h"
#include "ui/dialogs/internet_settings_dialog.h"
#include "ui/dialogs/name_value_dialog.h"
#include "ui/dialogs/rank_options_dialog.h"
#include "ui/dialogs/result_view_options_dialog.h"
#include "ui/dialogs/search_profiles_dialog.h"

namespace trovelane::ui {
namespace {

using testing::Child;
using testing::ModalScript;
using trovelane::testing::ReadFileBytes;

class SettingsDialogsTest : public testing::ProgramFixture {
 protected:
  NetworkSettings Saved() {
    NetworkSettings read;
    LoadNetworkSettings(state.SettingsFile(), read, [] { return std::string(); });
    return read;
  }
  void StoreProxy(bool enabled, bool auth, const std::string& userColonPass) {
    state.settings.proxy.enabled = enabled;
    state.settings.proxy.requiresAuth = auth;
    state.settings.proxy.host = "127.0.0.1";
    state.settings.proxy.port = 1080;
    state.settings.proxy.type = kProxySocks5;
    state.settings.proxy.credentials = Base64Encode(userColonPass);
    ASSERT_TRUE(SaveNetworkSettings(state.SettingsFile(), state.settings).ok());
  }
};

TEST_F(SettingsDialogsTest, InternetSettingsShowTheStoredProxyAndFollowTheEnablingRules) {
  StoreProxy(true, true, "alice:s3cret");
  state.settings.proxy.speedIndex = 4;
  InternetSettingsDialog dialog(state, prompts);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "t r o v e l a n e Internet Settings");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "user")->text(), "alice");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "password")->text(), "s3cret");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "password")->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(Child<QRadioButton>(&dialog, "socks5")->isChecked());
  auto* speed = Child<QComboBox>(&dialog, "speed");
  ASSERT_EQ(speed->count(), 10);
  EXPECT_EQ(speed->itemText(5), "112  Kbps");
  EXPECT_EQ(speed->itemText(9), "T1 Lan");
  EXPECT_EQ(speed->currentIndex(), 4);
  EXPECT_EQ(Child<QLineEdit>(&dialog, "browser")->text(), "/opt/test/browser");

  auto* useProxy = Child<QCheckBox>(&dialog, "useProxy");
  auto* auth = Child<QCheckBox>(&dialog, "requiresAuth");
  auto* user = Child<QLineEdit>(&dialog, "user");
  auto* host = Child<QLineEdit>(&dialog, "host");
  EXPECT_TRUE(user->isEnabled());
  auth->click();
  EXPECT_FALSE(user->isEnabled());
  EXPECT_TRUE(host->isEnabled());
  auth->click();
  useProxy->click();
  for (const char* name : {"host", "port", "user", "password"}) {
    EXPECT_FALSE(Child<QLineEdit>(&dialog, name)->isEnabled()) << name;
  }
  EXPECT_FALSE(auth->isEnabled());
  EXPECT_FALSE(Child<QRadioButton>(&dialog, "cern")->isEnabled());
  useProxy->click();
  EXPECT_TRUE(user->isEnabled());
}

TEST_F(SettingsDialogsTest, InternetSettingsOkEncodesTheCredentialsOnOneLine) {
  StoreProxy(true, true, "a:b");
  InternetSettingsDialog dialog(state, prompts);
  dialog.show();
  std::string user(40, 'u');
  std::string password(40, 'p');
  Child<QLineEdit>(&dialog, "user")->setText(QString::fromStdString(user));
  Child<QLineEdit>(&dialog, "password")->setText(QString::fromStdString(password));
  Child<QLineEdit>(&dialog, "port")->setText("3128");
  Child<QRadioButton>(&dialog, "cern")->setChecked(true);
  auto* speed = Child<QComboBox>(&dialog, "speed");
  speed->setCurrentIndex(9);
  emit speed->activated(9);
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);

  NetworkSettings saved = Saved();
  EXPECT_EQ(saved.proxy.credentials.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(Base64Decode(saved.proxy.credentials), user + ":" + password);
  EXPECT_EQ(saved.proxy.port, 3128);
  EXPECT_EQ(saved.proxy.type, kProxyCern);
  EXPECT_EQ(saved.proxy.speedIndex, 9);
  EXPECT_EQ(state.settings.proxy.speedIndex, 9);
  // The read size follows the speed only at the next start.
  EXPECT_EQ(state.settings.readChunkSize, ReadChunkSizeForSpeed(0));
}

TEST_F(SettingsDialogsTest, InternetSettingsWithTheProxyOffKeepTheStoredCredentials) {
  StoreProxy(false, true, "keep:this");
  InternetSettingsDialog dialog(state, prompts);
  dialog.show();
  // With the proxy off the credentials are not even shown.
  EXPECT_EQ(Child<QLineEdit>(&dialog, "user")->text(), "");
  Child<QLineEdit>(&dialog, "user")->setText("typed");
  Child<QLineEdit>(&dialog, "password")->setText("over");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Base64Decode(Saved().proxy.credentials), "keep:this");
}

TEST_F(SettingsDialogsTest, InternetSettingsTurningTheProxyOnKeepsTheStoredLogin) {
  StoreProxy(false, true, "alice:s3cret");
  InternetSettingsDialog dialog(state, prompts);
  dialog.show();
  Child<QCheckBox>(&dialog, "useProxy")->click();
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Base64Decode(Saved().proxy.credentials), "alice:s3cret");
}

TEST_F(SettingsDialogsTest, InternetSettingsRefuseAPortOutsideOneTo65535) {
  StoreProxy(true, false, "");
  const std::string before = ReadFileBytes(state.SettingsFile());
  InternetSettingsDialog dialog(state, prompts);
  dialog.show();
  auto* port = Child<QLineEdit>(&dialog, "port");
  for (const char* bad : {"99999", "", "0"}) {
    port->setText(bad);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << bad;
  }
  EXPECT_EQ(prompts.messages.size(), 3u);
  EXPECT_EQ(ReadFileBytes(state.SettingsFile()), before);
  // With the proxy off an empty port is left alone and the stored one kept.
  Child<QCheckBox>(&dialog, "useProxy")->click();
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Saved().proxy.port, 1080);
}

TEST_F(SettingsDialogsTest, InternetSettingsReportWhatTheFileCannotHold) {
  StoreProxy(true, true, "a:b");
  std::string before = ReadFileBytes(state.SettingsFile());
  InternetSettingsDialog dialog(state, prompts);
  dialog.show();
  Child<QLineEdit>(&dialog, "user")->setText("dom:alice");
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0], CheckCredentials({"dom:alice", "b"}).message());

  Child<QLineEdit>(&dialog, "user")->setText("alice");
  Child<QLineEdit>(&dialog, "host")->setText(QString(1024, 'h'));
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_NE(prompts.messages[1].find("longer than 1023"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(state.SettingsFile()), before);
  EXPECT_EQ(Base64Decode(state.settings.proxy.credentials), "a:b");
}

TEST_F(SettingsDialogsTest, InternetSettingsEditTheProgramsOwnLimits) {
  InternetSettingsDialog dialog(state, prompts);
  dialog.show();
  EXPECT_EQ(Child<QLineEdit>(&dialog, "connectTimeout")->text(), "5");
  Child<QLineEdit>(&dialog, "readTimeout")->setText("30");
  Child<QLineEdit>(&dialog, "maxPages")->setText("0");  // below the validator's range
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(prompts.messages.size(), 1u);
  // Named as the dialog labels the field.
  EXPECT_EQ(prompts.messages[0], "Result pages per engine must be a number from 1 to 10000.");
  Child<QLineEdit>(&dialog, "maxPages")->setText("7");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  ProgramOptions read;
  ASSERT_TRUE(LoadProgramOptions(state.ProgramOptionsFile(), read).fileRead);
  EXPECT_EQ(read.readTimeoutSeconds, 30);
  EXPECT_EQ(read.maxPagesPerEngine, 7);
  EXPECT_EQ(read.connectTimeoutSeconds, 5);
}

TEST_F(SettingsDialogsTest, InternetSettingsBrowserButtons) {
  InternetSettingsDialog dialog(state, prompts, [] { return std::string("/usr/bin/detected"); });
  dialog.show();
  prompts.fileToOpen = "/usr/local/bin/mybrowser";
  Child<QPushButton>(&dialog, "browse")->click();
  ASSERT_EQ(prompts.requests.size(), 1u);
  EXPECT_TRUE(prompts.requests[0].executablesOnly);
  EXPECT_EQ(prompts.requests[0].initialName, "/opt/test/browser");
  EXPECT_EQ(Child<QLineEdit>(&dialog, "browser")->text(), "/usr/local/bin/mybrowser");
  Child<QPushButton>(&dialog, "default")->click();
  EXPECT_EQ(Child<QLineEdit>(&dialog, "browser")->text(), "/usr/bin/detected");
  dialog.accept();
  EXPECT_EQ(Saved().proxy.browserPath, "/usr/bin/detected");
}

TEST_F(SettingsDialogsTest, RankOptionsRefuseWhatTheParsersRefuseAndSaveTheRest) {
  // An engine that waits for the SearXNG address, not selected yet.
  EngineDefinition instance = state.catalogue.engines.front();
  instance.name = "SearXNG";
  instance.searchUrl = "{searxng}/search";
  instance.selected = 0;
  state.catalogue.engines.push_back(instance);
  ASSERT_TRUE(SaveProfile(state.CurrentProfileFile(), state.catalogue).ok());
  auto saved = [&] {
    ProgramOptions read;
    LoadProgramOptions(state.ProgramOptionsFile(), read);
    return read;
  };

  RankOptionsDialog dialog(state, prompts);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "t r o v e l a n e Rank and Engine Options");
  Child<QLineEdit>(&dialog, "hiddenDomains")->setText("pinterest.com, quora.com");
  Child<QLineEdit>(&dialog, "domainFactors")->setText("wikipedia.org=2, example.com=0");
  Child<QLineEdit>(&dialog, "contact")->setText(QString(256, 'a'));
  Child<QLineEdit>(&dialog, "searxng")->setText("search.team.example");
  dialog.accept();
  Child<QLineEdit>(&dialog, "domainFactors")->setText("wikipedia.org=2 example.com=0.5");
  dialog.accept();
  Child<QLineEdit>(&dialog, "contact")->setText("mailto:me@example.org");
  dialog.accept();
  // A refusal names the field as the dialog labels it.
  EXPECT_EQ(testing::Join(prompts.messages),
            "the factor of example.com must be a number above 0 and at most 1000 | "
            "The contact address is longer than 255 bytes | "
            "The SearXNG instance must begin with http:// or https://");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(saved().hiddenDomains.empty());
  EXPECT_TRUE(state.settings.program.domainFactors.empty());
  EXPECT_FALSE(state.catalogue.engines.back().selected);

  Child<QLineEdit>(&dialog, "searxng")->setText("https://search.team.example");
  QSignalSpy announced(&dialog, &RankOptionsDialog::settingsSaved);
  dialog.accept();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(announced.count(), 1);
  const ProgramOptions read = saved();
  EXPECT_EQ(read.hiddenDomains, (std::vector<std::string>{"pinterest.com", "quora.com"}));
  EXPECT_EQ(read.domainFactors,
            (std::vector<DomainFactor>{{"wikipedia.org", 2}, {"example.com", 0.5}}));
  EXPECT_EQ(read.contact, "mailto:me@example.org");
  EXPECT_EQ(read.searxng, "https://search.team.example");
  EXPECT_EQ(state.settings.program.domainFactors, read.domainFactors);
  EngineCatalogue profile;
  ASSERT_TRUE(LoadProfile(state.CurrentProfileFile(), profile).ok());
  EXPECT_TRUE(profile.engines.back().selected);
}

TEST_F(SettingsDialogsTest, ResultViewOptionsAreSavedAndAnnounced) {
  ResultViewOptionsDialog dialog(state, prompts);
  QSignalSpy applied(&dialog, &ResultViewOptionsDialog::viewOptionsChanged);
  dialog.show();
  Child<QCheckBox>(&dialog, "fullRow")->setChecked(true);
  Child<QCheckBox>(&dialog, "toolTips")->setChecked(true);
  dialog.accept();
  NetworkSettings saved = Saved();
  EXPECT_EQ(saved.view.fullRowSelect, 1);
  EXPECT_EQ(saved.view.gridLines, 0);
  EXPECT_EQ(saved.view.toolTips, 1);
  ASSERT_EQ(applied.count(), 1);
  EXPECT_EQ(applied[0][0].value<ViewOptions>().toolTips, 1);
  EXPECT_EQ(state.settings.view.fullRowSelect, 1);

  ResultViewOptionsDialog again(state, prompts);
  EXPECT_TRUE(Child<QCheckBox>(&again, "fullRow")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(&again, "gridLines")->isChecked());
}

ModalScript::Action NewProfile(const QString& name, const QString& path) {
  return [name, path](QWidget* d) {
    auto* dialog = qobject_cast<NameValueDialog*>(d);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Search Profiles");
    dialog->nameEdit()->setText(name);
    dialog->valueEdit()->setText(path);
    dialog->accept();
  };
}

TEST_F(SettingsDialogsTest, SearchProfilesAddMakeCurrentAndLoad) {
  ASSERT_EQ(state.catalogue.engines.size(), 2u);
  SearchProfilesDialog dialog(state, prompts);
  QSignalSpy changed(&dialog, &SearchProfilesDialog::profilesChanged);
  dialog.show();
  auto* list = dialog.profileList();
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->currentText(), "Default");

  ModalScript script;
  script.Then(NewProfile("Work", "work.prf"));
  dialog.AddProfile();
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentIndex(), 0);  // adding does not choose
  list->setCurrentIndex(1);
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(state.currentProfilePath, "work.prf");
  EXPECT_TRUE(state.catalogue.engines.empty());  // the file does not exist yet
  EXPECT_FALSE(std::filesystem::exists(scratch.File("work.prf")));

  std::vector<SearchProfile> profiles;
  std::string current;
  ReadCurrentProfilePath(state.ProfileListFile(), current);
  EXPECT_EQ(current, "work.prf");
  EXPECT_EQ(ReadProfileList(state.ProfileListFile(), profiles, current), 1);
  EXPECT_EQ(profiles[1], (SearchProfile{"Work", "work.prf"}));
}

TEST_F(SettingsDialogsTest, SearchProfilesRemoveKeepsTheFileAndCancelDiscards) {
  std::string listBefore;
  {
    SearchProfilesDialog dialog(state, prompts);
    ModalScript script;
    script.Then(NewProfile("Other", "default.prf"));
    dialog.AddProfile();
    dialog.accept();  // two entries, the first current
    listBefore = ReadFileBytes(state.ProfileListFile());
  }
  {
    SearchProfilesDialog dialog(state, prompts);
    dialog.show();
    auto* list = dialog.profileList();
    // Both entries name default.prf: the last one is shown as current.
    EXPECT_EQ(list->currentText(), "Other");
    list->setCurrentIndex(0);
    dialog.RemoveSelected();
    EXPECT_EQ(list->count(), 1);
    dialog.reject();
    EXPECT_EQ(ReadFileBytes(state.ProfileListFile()), listBefore);
  }
  {
    SearchProfilesDialog dialog(state, prompts);
    dialog.profileList()->setCurrentIndex(0);
    dialog.RemoveSelected();
    dialog.accept();
    EXPECT_EQ(state.currentProfilePath, "default.prf");
    EXPECT_EQ(state.catalogue.engines.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(scratch.File("default.prf")));
  }
}

TEST_F(SettingsDialogsTest, SearchProfilesRefuseANameThatWouldBreakTheListFile) {
  SearchProfilesDialog dialog(state, prompts);
  ModalScript script;
  script.Then(NewProfile("Tab\there", "x.prf"));
  dialog.AddProfile();
  EXPECT_EQ(dialog.profileList()->count(), 1);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0], CheckSearchProfile({"Tab\there", "x.prf"}).message());
}

TEST_F(SettingsDialogsTest, EmptyNamesAreRefusedAndDialogsKeepTheirCaptionsWhole) {
  for (auto mode : {NameValueDialog::Mode::Profile, NameValueDialog::Mode::FileType,
                    NameValueDialog::Mode::Parameter}) {
    NameValueDialog dialog(mode, prompts);
    dialog.show();
    dialog.nameEdit()->setText("  ");
    dialog.valueEdit()->setText("x.prf");
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << dialog.windowTitle().toStdString();
    EXPECT_GE(dialog.width(), CaptionWidth(dialog.windowTitle()));
  }
  NameValueDialog profile(NameValueDialog::Mode::Profile, prompts);
  profile.nameEdit()->setText("Work");
  profile.accept();
  EXPECT_NE(profile.result(), QDialog::Accepted);  // no path
  PluginInformationDialog plugin(prompts);
  plugin.accept();
  EXPECT_NE(plugin.result(), QDialog::Accepted);
  EXPECT_EQ(prompts.messages.size(), 5u);

  AddEngineDialog add;
  ResultViewOptionsDialog options(state, prompts);
  for (QDialog* dialog : std::initializer_list<QDialog*>{&add, &options, &plugin}) {
    dialog->show();
    EXPECT_GE(dialog->width(), CaptionWidth(dialog->windowTitle()))
        << dialog->windowTitle().toStdString();
  }
}

}  // namespace
}  // namespace trovelane::ui
