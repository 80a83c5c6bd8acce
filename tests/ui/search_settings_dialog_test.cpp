#include "ui/dialogs/search_settings_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <fstream>

#include "engines/engine_file.h"
#include "engines/profile.h"
#include "app/settings_file.h"
#include "tests/ui/dialog_test_support.h"
#include "ui/dialogs/add_engine_dialog.h"
#include "ui/dialogs/engine_wizard.h"
#include "ui/dialogs/option_pages.h"

namespace trovelane::ui {
namespace {

using testing::Child;
using testing::ModalScript;
using trovelane::testing::ReadFileBytes;
using trovelane::testing::WriteFileBytes;

class SearchSettingsDialogTest : public testing::ProgramFixture {
 protected:
  QPoint RowCenter(SearchSettingsDialog& dialog, int row) {
    QTableWidget* list = dialog.engineList();
    return list->visualItemRect(list->item(row, 0)).center();
  }
  void Click(SearchSettingsDialog& dialog, int row) {
    QTest::mouseClick(dialog.engineList()->viewport(), Qt::LeftButton, {}, RowCenter(dialog, row));
  }
  void DoubleClick(SearchSettingsDialog& dialog, int row) {
    testing::DoubleClickAt(dialog.engineList()->viewport(), RowCenter(dialog, row));
  }
  void Select(SearchSettingsDialog& dialog, int row) { dialog.engineList()->selectRow(row); }
  QStringList Rows(SearchSettingsDialog& dialog) {
    QStringList rows;
    for (int r = 0; r < dialog.engineList()->rowCount(); ++r) {
      rows << dialog.engineList()->item(r, 0)->text();
    }
    return rows;
  }
  void TriggerContext(SearchSettingsDialog& dialog, const QString& text) {
    std::unique_ptr<QMenu> menu(dialog.MakeContextMenu());
    for (QAction* action : menu->actions()) {
      if (action->text() == text) {
        action->trigger();
        return;
      }
    }
    ADD_FAILURE() << "no menu command " << text.toStdString();
  }
  EngineCatalogue SavedProfile() {
    EngineCatalogue saved;
    EXPECT_TRUE(LoadProfile(state.CurrentProfileFile(), saved).ok());
    return saved;
  }
  static ModalScript::Action CancelDialog() {
    return [](QWidget* d) { qobject_cast<QDialog*>(d)->reject(); };
  }
  static ModalScript::Action ChooseAdd(AddEngineDialog::Choice choice) {
    return [choice](QWidget* d) {
      auto* dialog = qobject_cast<AddEngineDialog*>(d);
      ASSERT_NE(dialog, nullptr);
      dialog->setChoice(choice);
      testing::ButtonByText(dialog, "&Next >")->click();
    };
  }
};

TEST_F(SearchSettingsDialogTest, ClicksInvertSelectedAndDoubleClickEditsWithoutChangingIt) {
  SearchSettingsDialog dialog(state, prompts);
  dialog.show();
  ASSERT_EQ(Rows(dialog), (QStringList{"Example Offsets", "Example Form Post"}));
  EXPECT_EQ(dialog.engineList()->horizontalHeaderItem(0)->text(), "Search Engine");
  ASSERT_EQ(state.catalogue.engines[0].selected, 1);
  qint64 selectedIcon = dialog.engineList()->item(0, 0)->icon().pixmap(16).toImage().cacheKey();

  Click(dialog, 0);
  EXPECT_EQ(state.catalogue.engines[0].selected, 0);
  EXPECT_NE(dialog.engineList()->item(0, 0)->icon().pixmap(16).toImage().cacheKey(), selectedIcon);
  Click(dialog, 0);
  EXPECT_EQ(state.catalogue.engines[0].selected, 1);

  // A double click: the click inverts, the edit inverts back and opens the wizard.
  ModalScript script;
  script.Then([](QWidget* d) {
    ASSERT_NE(qobject_cast<EngineWizard*>(d), nullptr);
    qobject_cast<QDialog*>(d)->reject();
  });
  DoubleClick(dialog, 1);
  QTest::qWait(0);
  EXPECT_EQ(state.catalogue.engines[1].selected, 1);
  EXPECT_EQ(script.titles, std::vector<std::string>{"Add Search Engine Wizard"});

  // The context menu's Edit leaves the flag inverted.
  script.Then(CancelDialog());
  Select(dialog, 1);
  TriggerContext(dialog, "&Edit");
  EXPECT_EQ(state.catalogue.engines[1].selected, 0);
}

TEST_F(SearchSettingsDialogTest, SpaceInvertsTheCurrentEngineAndTheEditButtonLeavesIt) {
  SearchSettingsDialog dialog(state, prompts);
  dialog.show();
  dialog.engineList()->setCurrentCell(0, 0);
  QTest::keyClick(dialog.engineList(), Qt::Key_Space);
  EXPECT_EQ(state.catalogue.engines[0].selected, 0);
  QTest::keyClick(dialog.engineList(), Qt::Key_Space);
  EXPECT_EQ(state.catalogue.engines[0].selected, 1);

  ModalScript script;
  script.Then(CancelDialog());
  Select(dialog, 0);
  testing::Child<QPushButton>(&dialog, "edit")->click();
  EXPECT_EQ(script.titles, std::vector<std::string>{"Add Search Engine Wizard"});
  EXPECT_EQ(state.catalogue.engines[0].selected, 1);
}

TEST_F(SearchSettingsDialogTest, PluginsAreAddedByNameAndCannotBeEdited) {
  SearchSettingsDialog dialog(state, prompts);
  dialog.show();
  ModalScript script;
  script.Then(ChooseAdd(AddEngineDialog::kAddPlugin)).Then([](QWidget* d) {
    auto* plugin = qobject_cast<PluginInformationDialog*>(d);
    ASSERT_NE(plugin, nullptr);
    plugin->fileNameEdit()->setText("plgmissing.dll");
    plugin->accept();
  });
  dialog.AddEngine();
  EXPECT_EQ(script.titles, (std::vector<std::string>{"Add Search Engine", "Plugin Information"}));
  ASSERT_EQ(state.catalogue.engines.size(), 3u);
  const EngineDefinition& plugin = state.catalogue.engines[2];
  EXPECT_TRUE(plugin.isPlugin);
  EXPECT_EQ(plugin.searchUrl, "plugin");
  EXPECT_EQ(plugin.name, "plgmissing.dll");
  EXPECT_EQ(Rows(dialog).back(), "Bad Plugin");

  // The click of the double click inverts the flag; the edit only says no.
  DoubleClick(dialog, 2);
  EXPECT_EQ(state.catalogue.engines[2].selected, 0);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"Plugins cannot be edited!"});
}

TEST_F(SearchSettingsDialogTest, OkSavesTheProfileAndTheOptionPages) {
  SearchSettingsDialog dialog(state, prompts);
  dialog.show();

  // A configured engine through the wizard.
  ModalScript script;
  script.Then(ChooseAdd(AddEngineDialog::kConfigureEngine)).Then([](QWidget* d) {
    auto* wizard = qobject_cast<EngineWizard*>(d);
    ASSERT_NE(wizard, nullptr);
    Child<QLineEdit>(wizard, "name")->setText("Added");
    Child<QLineEdit>(wizard, "searchUrl")->setText("http://127.0.0.1:9/s");
    Child<QLineEdit>(wizard, "searchTextId")->setText("q");
    Child<QLineEdit>(wizard, "resultsPerPage")->setText("25");
    Child<QLineEdit>(wizard, "resultId")->setText("n");
    for (int i = 0; i < 7; ++i) wizard->next();
    wizard->button(QWizard::FinishButton)->click();
  });
  dialog.AddEngine();
  ASSERT_EQ(Rows(dialog).size(), 3);
  EXPECT_EQ(Rows(dialog)[2], "Added");

  // The option pages.
  OptionsSheet* sheet = dialog.optionsSheet();
  QStringList tabs;
  for (int i = 0; i < sheet->count(); ++i) tabs << sheet->tabText(i);
  EXPECT_EQ(tabs, (QStringList{"Results", "Validation/Relevancy", "Boolean", "Duplicates",
                               "Relevance Settings"}));
  Child<QLineEdit>(sheet, "maxResults")->setText("50");
  Child<QRadioButton>(sheet, "perEngine1")->setChecked(true);
  Child<QRadioButton>(sheet, "validation3")->setChecked(true);
  Child<QLineEdit>(sheet, "minRelevancy")->setText("40");
  Child<QRadioButton>(sheet, "operator1")->setChecked(true);
  Child<QRadioButton>(sheet, "duplicates2")->setChecked(true);
  sheet->setCurrentIndex(4);
  const int16_t weights[] = {5, 3, 9, 1, 0, 0, 0, 0};
  for (int row = 0; row < 4; ++row) {
    QTableWidget* list = sheet->weightsList();
    QPoint at = list->visualRect(list->model()->index(row, 1)).center();
    testing::DoubleClickAt(list->viewport(), at);
    ASSERT_NE(sheet->weightEditor(), nullptr);
    sheet->weightEditor()->setText(QString::number(weights[row]));
    QTest::keyClick(sheet->weightEditor(), Qt::Key_Return);
  }

  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(prompts.messages.empty());

  EngineCatalogue saved = SavedProfile();
  ASSERT_EQ(saved.engines.size(), 3u);
  EXPECT_EQ(saved.engines[2].name, "Added");
  EXPECT_EQ(saved.engines[2].resultsPerPage, 25);

  NetworkSettings read;
  LoadNetworkSettings(state.SettingsFile(), read, [] { return std::string("/x"); });
  EXPECT_EQ(read.search.maxResults, 50);
  EXPECT_EQ(read.search.perEngine, 1);
  EXPECT_EQ(read.search.validationMode, kValidationAuto);
  EXPECT_EQ(read.search.minRelevancy, 40);
  EXPECT_EQ(read.search.defaultOperator, 1);
  EXPECT_EQ(read.search.duplicateMode, kDuplicateNone);
  EXPECT_EQ(read.search.weights[2], 9);
  EXPECT_EQ(read.search.maxRelevance, 14);
  EXPECT_EQ(read.proxy.browserPath, "/opt/test/browser");  // the rest is kept
  EXPECT_EQ(state.settings.search.maxResults, 50);
}

TEST_F(SearchSettingsDialogTest, CancelKeepsCatalogueChangesInMemoryOnly) {
  std::string before = ReadFileBytes(state.CurrentProfileFile());
  {
    SearchSettingsDialog dialog(state, prompts);
    dialog.show();
    Select(dialog, 0);
    dialog.RemoveSelected();
    EXPECT_EQ(Rows(dialog), QStringList{"Example Form Post"});
    dialog.RemoveSelected();  // the refill leaves no row selected
    EXPECT_EQ(Rows(dialog).size(), 1);
    Child<QLineEdit>(dialog.optionsSheet(), "maxResults")->setText("77");
    dialog.reject();
  }
  ASSERT_EQ(state.catalogue.engines.size(), 1u);
  EXPECT_EQ(ReadFileBytes(state.CurrentProfileFile()), before);
  EXPECT_FALSE(std::filesystem::exists(state.SettingsFile()));
  EXPECT_NE(state.settings.search.maxResults, 77);
}

TEST_F(SearchSettingsDialogTest, ExportAndImportAnEngineFile) {
  SearchSettingsDialog dialog(state, prompts);
  dialog.show();
  Select(dialog, 0);
  prompts.fileToSave = QString::fromStdString(scratch.File("out.eng"));
  TriggerContext(dialog, "E&xport");
  ASSERT_EQ(prompts.requests.size(), 1u);
  EXPECT_EQ(prompts.requests[0].initialName, "Example Offsets.eng");
  EXPECT_EQ(prompts.requests[0].filter, "Search Engine Configuration Files (*.eng)");
  EXPECT_EQ(prompts.requests[0].defaultSuffix, "eng");
  std::ifstream file(scratch.File("out.eng"));
  EngineDefinition exported;
  ASSERT_TRUE(ReadEngineDefinition(exported, file));
  EXPECT_EQ(exported, state.catalogue.engines[0]);

  prompts.fileToOpen = prompts.fileToSave;
  dialog.ImportEngine();
  ASSERT_EQ(state.catalogue.engines.size(), 3u);
  EXPECT_EQ(state.catalogue.engines[2], exported);
  EXPECT_EQ(Rows(dialog)[2], "Example Offsets");

  // An incomplete file adds nothing and says nothing.
  std::string text = ReadFileBytes(scratch.File("out.eng"));
  WriteFileBytes(scratch.File("cut.eng"), text.substr(0, text.size() / 2));
  prompts.fileToOpen = QString::fromStdString(scratch.File("cut.eng"));
  dialog.ImportEngine();
  EXPECT_EQ(state.catalogue.engines.size(), 3u);
  EXPECT_TRUE(prompts.messages.empty());

  // A complete file without a name is no engine: refused, and said so.
  std::string noName = "SIT = " + text.substr(text.find('\n'));
  WriteFileBytes(scratch.File("noname.eng"), noName);
  prompts.fileToOpen = QString::fromStdString(scratch.File("noname.eng"));
  dialog.ImportEngine();
  EXPECT_EQ(state.catalogue.engines.size(), 3u);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_NE(prompts.messages[0].find("no engine name (SIT)"), std::string::npos);
  prompts.messages.clear();

  prompts.fileToOpen = QString::fromStdString(scratch.File("missing.eng"));
  dialog.ImportEngine();
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"Error opening the file for reading"});

  // A folder that is a file cannot take the export.
  WriteFileBytes(scratch.File("plain"), "x");
  prompts.fileToSave = QString::fromStdString(scratch.File("plain/out.eng"));
  Select(dialog, 0);
  dialog.ExportSelected();
  EXPECT_EQ(prompts.messages.back(), "Error opening the file for writing");
}

TEST_F(SearchSettingsDialogTest, AFailedProfileSaveIsReportedAndKeepsTheDialogOpen) {
  // The profile's folder is a plain file, so no save can succeed, even as root.
  WriteFileBytes(scratch.File("blocked"), "x");
  state.currentProfilePath = "blocked/work.prf";
  SearchSettingsDialog dialog(state, prompts);
  dialog.show();
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_FALSE(prompts.messages[0].empty());
  EXPECT_FALSE(std::filesystem::exists(state.SettingsFile()));
}

TEST(OptionsSheetTest, LoadShowsStoredChoicesAndTheWeightEditKeepsNumbersOnly) {
  SearchOptions options;
  options.duplicateMode = kDuplicateNone;
  options.validationMode = 7;   // from another layout: no choice shown, kept on Store
  options.defaultOperator = 5;  // any value above 0 is OR, and stays as stored
  options.weights = {1, 2, 3, 4, 5, 6, 7, 8};
  OptionsSheet sheet;
  sheet.show();
  sheet.Load(options);
  EXPECT_TRUE(Child<QRadioButton>(&sheet, "duplicates2")->isChecked());
  EXPECT_TRUE(Child<QRadioButton>(&sheet, "operator1")->isChecked());
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(Child<QRadioButton>(&sheet, QString("validation%1").arg(i))->isChecked());
  }
  QTableWidget* list = sheet.weightsList();
  EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "Item");
  EXPECT_EQ(list->horizontalHeaderItem(1)->text(), "Weight");
  EXPECT_EQ(list->item(5, 0)->text(), "Font Size 6");
  EXPECT_EQ(list->item(5, 1)->text(), "6");

  sheet.setCurrentIndex(4);
  auto edit = [&](int row, const QString& typed, Qt::Key key) {
    testing::DoubleClickAt(list->viewport(),
                           list->visualRect(list->model()->index(row, 1)).center());
    ASSERT_NE(sheet.weightEditor(), nullptr);
    EXPECT_EQ(sheet.weightEditor()->text(), list->item(row, 1)->text());
    sheet.weightEditor()->setText(typed);
    QTest::keyClick(sheet.weightEditor(), key);
    EXPECT_EQ(sheet.weightEditor(), nullptr);
  };
  edit(0, "abc", Qt::Key_Return);
  EXPECT_EQ(list->item(0, 1)->text(), "0");
  edit(1, "12 apples", Qt::Key_Return);
  EXPECT_EQ(list->item(1, 1)->text(), "12");
  edit(2, "99999", Qt::Key_Return);
  EXPECT_EQ(list->item(2, 1)->text(), "32767");
  edit(3, "50", Qt::Key_Escape);
  EXPECT_EQ(list->item(3, 1)->text(), "4");

  SearchOptions stored = options;
  sheet.Store(stored);
  EXPECT_EQ(stored.validationMode, 7);
  EXPECT_EQ(stored.defaultOperator, 5);
  EXPECT_EQ(stored.weights[0], 0);
  EXPECT_EQ(stored.weights[1], 12);
  EXPECT_EQ(stored.weights[2], 32767);
  EXPECT_EQ(stored.weights[3], 4);
  EXPECT_EQ(stored.maxRelevance, ComputeMaxRelevance(stored.weights));
}

}  // namespace
}  // namespace trovelane::ui
