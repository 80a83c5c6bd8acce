#include "ui/dialogs/engine_wizard.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <cstring>
#include <sstream>

#include "engines/api_results.h"
#include "engines/engine_file.h"
#include "tests/support/loopback_server.h"
#include "tests/ui/dialog_test_support.h"
#include "ui/dialogs/name_value_dialog.h"

namespace trovelane::ui {
namespace {

using testing::Child;
using testing::ModalScript;
using testing::ScriptedPrompts;

void SetText(QWidget* root, const char* name, const QString& text) {
  Child<QLineEdit>(root, name)->setText(text);
}

void FillFirstPage(EngineWizard& wizard) {
  SetText(&wizard, "name", "Loopback Search");
  SetText(&wizard, "searchUrl", "http://127.0.0.1:8080/search");
  SetText(&wizard, "searchTextId", "q");
  SetText(&wizard, "resultsPerPage", "10");
  SetText(&wizard, "resultId", "start");
}

// Answers the name/value dialog that the next "+" or "&Add" opens.
ModalScript::Action Answer(const QString& name, const QString& value = {}) {
  return [name, value](QWidget* dialog) {
    auto* nv = qobject_cast<NameValueDialog*>(dialog);
    ASSERT_NE(nv, nullptr);
    nv->nameEdit()->setText(name);
    if (nv->hasValueField()) nv->valueEdit()->setText(value);
    nv->accept();
  };
}

void LoseFocus(QWidget* widget) {
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(widget, &out);
}

EngineDefinition ReadBack(const EngineDefinition& engine) {
  std::stringstream file;
  EXPECT_TRUE(WriteEngineDefinition(engine, file).ok());
  EngineDefinition back;
  EXPECT_TRUE(ReadEngineDefinition(back, file));
  return back;
}

TEST(EngineWizardTest, FirstPageRefusesNextWithTheFirstMissingFieldInOrder) {
  ScriptedPrompts prompts;
  EngineWizard wizard{EngineDefinition{}, prompts};
  wizard.show();
  ASSERT_EQ(wizard.currentId(), EngineWizard::kInfoPage);
  EXPECT_FALSE(wizard.button(QWizard::BackButton)->isVisible());

  auto nextMessage = [&] {
    prompts.messages.clear();
    wizard.next();
    return prompts.messages.empty() ? std::string("(none)") : prompts.messages.back();
  };
  EXPECT_EQ(nextMessage(), "Search Engine name cannot be empty.");
  SetText(&wizard, "name", "X");
  EXPECT_EQ(nextMessage(), "Search Engine search URL cannot be empty.");
  SetText(&wizard, "searchUrl", "http://127.0.0.1/s");
  EXPECT_EQ(nextMessage(), "Search Engine search id cannot be empty");
  SetText(&wizard, "searchTextId", "q");
  EXPECT_EQ(nextMessage(), "Search Engine result id cannot be empty");
  SetText(&wizard, "resultId", "p");
  SetText(&wizard, "resultsPerPage", "0");
  EXPECT_EQ(nextMessage(), "Default number of results returned by the search engine is never 0.");
  EXPECT_EQ(wizard.currentId(), EngineWizard::kInfoPage);
  SetText(&wizard, "resultsPerPage", "20");
  EXPECT_EQ(nextMessage(), "(none)");
  EXPECT_EQ(wizard.currentId(), EngineWizard::kBooleanPage);
}

TEST(EngineWizardTest, NewEngineThroughEveryPageIsWrittenBackOnFinish) {
  ScriptedPrompts prompts;
  EngineWizard wizard{EngineDefinition{}, prompts};
  wizard.show();
  FillFirstPage(wizard);
  Child<QRadioButton>(&wizard, "post")->setChecked(true);
  Child<QRadioButton>(&wizard, "technique3")->setChecked(true);
  Child<QCheckBox>(&wizard, "requiresCookies")->setChecked(true);
  wizard.next();

  // Page 2: the operator edits follow the check box and keep their texts.
  ASSERT_EQ(wizard.currentId(), EngineWizard::kBooleanPage);
  auto* useBoolean = Child<QCheckBox>(&wizard, "useBoolean");
  auto* andOperator = Child<QLineEdit>(&wizard, "andOperator");
  EXPECT_FALSE(andOperator->isEnabled());
  useBoolean->click();
  EXPECT_TRUE(andOperator->isEnabled());
  andOperator->setText("+AND+");
  SetText(&wizard, "notOperator", "-");
  useBoolean->click();
  EXPECT_FALSE(andOperator->isEnabled());
  EXPECT_EQ(andOperator->text(), "+AND+");
  useBoolean->click();
  wizard.next();

  // Pages 3, 5 and 6: "+" asks with the name/value dialog, "-" removes the selected line.
  ModalScript script;
  script.Then(Answer("pdf")).Then(Answer("zip")).Then(Answer("doc"));
  Child<QPushButton>(&wizard, "searchedFileTypesAdd")->click();
  Child<QPushButton>(&wizard, "searchedFileTypesAdd")->click();
  Child<QPushButton>(&wizard, "autoAddFileTypesAdd")->click();
  auto* searched = Child<QListWidget>(&wizard, "searchedFileTypes");
  ASSERT_EQ(searched->count(), 2);
  Child<QPushButton>(&wizard, "searchedFileTypesRemove")->click();  // nothing selected
  EXPECT_EQ(searched->count(), 2);
  searched->setCurrentRow(0);
  Child<QPushButton>(&wizard, "searchedFileTypesRemove")->click();
  wizard.next();

  ASSERT_EQ(wizard.currentId(), EngineWizard::kResultsTypePage);
  Child<QRadioButton>(&wizard, "indirect")->setChecked(true);
  SetText(&wizard, "indirectLinkName", "download.asp");
  SetText(&wizard, "referer", "http://127.0.0.1:8080/");
  wizard.next();
  ASSERT_EQ(wizard.currentId(), EngineWizard::kResultFormatPage);
  wizard.next();

  ASSERT_EQ(wizard.currentId(), EngineWizard::kSkipPage);
  EXPECT_EQ(wizard.currentPage()->title(), "Domain/URL Skip Options");
  script.Then(Answer("ads.example")).Then(Answer("http://127.0.0.1:8080/help"));
  Child<QPushButton>(&wizard, "skippedDomainsAdd")->click();
  Child<QPushButton>(&wizard, "skippedUrlsAdd")->click();
  wizard.next();

  ASSERT_EQ(wizard.currentId(), EngineWizard::kCookiePage);
  script.Then(Answer("http://127.0.0.1:8080/"));
  Child<QPushButton>(&wizard, "cookieUrlsAdd")->click();
  wizard.next();

  // Page 7: the two special parameters come from page 1.
  ASSERT_EQ(wizard.currentId(), EngineWizard::kAdvancedPage);
  auto* parameters = Child<QListWidget>(&wizard, "parameters");
  ASSERT_EQ(parameters->count(), 2);
  EXPECT_EQ(parameters->item(0)->text(), "q = ");
  EXPECT_EQ(parameters->item(1)->text(), "start = ");
  script.Then(Answer("lang", "en"));
  Child<QPushButton>(&wizard, "addParameter")->click();
  EXPECT_EQ(parameters->item(2)->text(), "lang = en");
  EXPECT_EQ(Child<QPlainTextEdit>(&wizard, "preview")->toPlainText(),
            "http://127.0.0.1:8080/search?q=?&start=?&lang=en");
  EXPECT_TRUE(wizard.button(QWizard::FinishButton)->isVisible());
  EXPECT_FALSE(wizard.button(QWizard::NextButton)->isVisible());

  wizard.button(QWizard::FinishButton)->click();
  ASSERT_EQ(wizard.result(), QDialog::Accepted)
      << (prompts.messages.empty() ? "" : prompts.messages[0]);
  EXPECT_TRUE(prompts.messages.empty());

  const EngineDefinition& e = wizard.engine();
  EXPECT_EQ(e.name, "Loopback Search");
  EXPECT_EQ(e.method, POST);
  EXPECT_EQ(e.resultsPerPage, 10);
  EXPECT_EQ(e.iterationTechnique, RELATIVE_1);
  EXPECT_EQ(e.requiresCookies, 1);
  EXPECT_EQ(e.useBoolean, 1);
  EXPECT_EQ(e.andOperator, "+AND+");
  EXPECT_EQ(e.notOperator, "-");
  EXPECT_EQ(e.searchedFileTypes, std::vector<std::string>{"zip"});
  EXPECT_EQ(e.autoAddFileTypes, std::vector<std::string>{"doc"});
  EXPECT_EQ(e.linkType, INDIRECT);
  EXPECT_EQ(e.indirectLinkName, "download.asp");
  EXPECT_EQ(e.skippedDomains, std::vector<std::string>{"ads.example"});
  EXPECT_EQ(e.skippedUrls, std::vector<std::string>{"http://127.0.0.1:8080/help"});
  EXPECT_EQ(e.cookieUrls, std::vector<std::string>{"http://127.0.0.1:8080/"});
  ASSERT_EQ(e.parameters.size(), 3u);
  EXPECT_EQ(e.parameters[0].roleCode, SEARCH_TEXT);
  EXPECT_EQ(e.parameters[1].roleCode, RESULT_POSITION);
  EXPECT_EQ(e.parameters[2].roleCode, FIXED);
  EXPECT_EQ(e.parameters[2].defaultValue, "en");
  EXPECT_EQ(ReadBack(e), e);
}

EngineDefinition SampleEngine() {
  EngineDefinition e;
  e.name = "Sample";
  e.searchUrl = "http://127.0.0.1:8080/find";
  e.searchTextId = "q";
  e.resultId = "page";
  e.resultsPerPage = 10;
  e.selected = 0;
  EngineParameter text{};
  text.roleCode = SEARCH_TEXT;
  text.name = "q";
  text.defaultValue = "stale";
  EngineParameter fixed{};
  fixed.roleCode = FIXED;
  fixed.name = "lang";
  fixed.defaultValue = "en";
  EngineParameter position{};
  position.roleCode = RESULT_POSITION;
  position.name = "page";
  e.parameters = {text, fixed, position};
  return e;
}

TEST(EngineWizardTest, AdvancedPageFollowsThePageOneIdsAndEditsTheParameterList) {
  ScriptedPrompts prompts;
  EngineWizard wizard{SampleEngine(), prompts};
  wizard.show();
  for (int i = 0; i < 7; ++i) wizard.next();
  ASSERT_EQ(wizard.currentId(), EngineWizard::kAdvancedPage);
  auto* parameters = Child<QListWidget>(&wizard, "parameters");
  auto* preview = Child<QPlainTextEdit>(&wizard, "preview");
  EXPECT_EQ(parameters->item(0)->text(), "q = ");  // default value cleared

  // A new search text id on page 1 renames its parameter when page 7 shows again.
  for (int i = 0; i < 7; ++i) wizard.back();
  SetText(&wizard, "searchTextId", "words");
  for (int i = 0; i < 7; ++i) wizard.next();
  EXPECT_EQ(parameters->item(0)->text(), "words = ");

  // A separator of three characters stands between every pair.
  SetText(&wizard, "separator", "&amp;");
  LoseFocus(Child<QLineEdit>(&wizard, "separator"));
  EXPECT_EQ(preview->toPlainText(), "http://127.0.0.1:8080/find?words=?&amp;lang=en&amp;page=?");

  // An emptied separator becomes "&" with a message when the edit loses the focus.
  SetText(&wizard, "separator", "");
  LoseFocus(Child<QLineEdit>(&wizard, "separator"));
  EXPECT_EQ(Child<QLineEdit>(&wizard, "separator")->text(), "&");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0], "Separator cannot be empty. Setting it to '&'");

  // Up and Dn keep the moved parameter selected; they stop at the ends.
  parameters->setCurrentRow(1);
  Child<QPushButton>(&wizard, "upParameter")->click();
  EXPECT_EQ(parameters->currentRow(), 0);
  EXPECT_EQ(parameters->item(0)->text(), "lang = en");
  Child<QPushButton>(&wizard, "upParameter")->click();
  EXPECT_EQ(parameters->item(0)->text(), "lang = en");
  parameters->setCurrentRow(2);
  Child<QPushButton>(&wizard, "downParameter")->click();
  EXPECT_EQ(parameters->currentRow(), 2);

  // The special parameters cannot be deleted; a fixed one can.
  parameters->setCurrentRow(1);
  Child<QPushButton>(&wizard, "deleteParameter")->click();
  EXPECT_EQ(prompts.messages.back(), "Cannot remove Search Id or Result Id parameters.");
  EXPECT_EQ(parameters->count(), 3);
  parameters->setCurrentRow(0);
  Child<QPushButton>(&wizard, "deleteParameter")->click();
  EXPECT_EQ(parameters->count(), 2);

  wizard.button(QWizard::FinishButton)->click();
  ASSERT_EQ(wizard.result(), QDialog::Accepted);
  const EngineDefinition& e = wizard.engine();
  EXPECT_EQ(e.selected, 0);  // not a field of any page
  EXPECT_EQ(e.searchTextId, "words");
  ASSERT_EQ(e.parameters.size(), 2u);
  EXPECT_EQ(e.parameters[0].name, "words");
  EXPECT_EQ(e.parameters[0].defaultValue, "");
  EXPECT_EQ(e.parameters[1].name, "page");
}

TEST(EngineWizardTest, FinishRefusesAValueThatWouldBreakItsLineInTheProfile) {
  ScriptedPrompts prompts;
  EngineWizard wizard{SampleEngine(), prompts};
  wizard.show();
  for (int i = 0; i < 3; ++i) wizard.next();
  ASSERT_EQ(wizard.currentId(), EngineWizard::kResultsTypePage);
  SetText(&wizard, "referer", "http://127.0.0.1/\r\nX-Injected: 1");
  for (int i = 0; i < 4; ++i) wizard.next();
  wizard.button(QWizard::FinishButton)->click();
  EXPECT_NE(wizard.result(), QDialog::Accepted);
  EXPECT_EQ(wizard.currentId(), EngineWizard::kAdvancedPage);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EngineDefinition bad = SampleEngine();
  bad.referer = "http://127.0.0.1/\r\nX-Injected: 1";
  EXPECT_EQ(prompts.messages[0], CheckEngineDefinition(bad).message());
  EXPECT_EQ(wizard.engine(), SampleEngine());  // the definition is untouched

  for (int i = 0; i < 4; ++i) wizard.back();
  SetText(&wizard, "referer", "http://127.0.0.1/");
  for (int i = 0; i < 4; ++i) wizard.next();
  wizard.button(QWizard::FinishButton)->click();
  EXPECT_EQ(wizard.result(), QDialog::Accepted);
  EXPECT_EQ(wizard.engine().referer, "http://127.0.0.1/");
}

std::string FileText(const EngineDefinition& engine) {
  std::ostringstream file;
  EXPECT_TRUE(WriteEngineDefinition(engine, file).ok());
  return file.str();
}

QStringList PreviewRows(EngineWizard& wizard) {
  QStringList rows;
  auto* list = Child<QListWidget>(&wizard, "answerResults");
  for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
  return rows;
}

QString PreviewStatus(EngineWizard& wizard) {
  return Child<QLabel>(&wizard, "answerStatus")->text();
}

void GoToResultFormatPage(EngineWizard& wizard) {
  wizard.show();
  while (wizard.currentId() != EngineWizard::kResultFormatPage) wizard.next();
}

constexpr const char* kBibliographyAnswer =
    R"({"message":{"items":[)"
    R"({"DOI":"10.1/a b","title":["Rivers & lakes"],"container-title":["Limnology"]},)"
    R"({"title":["No identifier"]},)"
    R"({"DOI":"10.1/c","title":["Deltas"]}]}})";

EngineExtensions JsonWeb(const std::string& results) {
  EngineExtensions web;
  web.format = "json";
  web.jsonResults = results;
  web.jsonUrl = "https://doi.org/{DOI}";
  web.jsonTitle = "title";
  return web;
}

TEST(EngineWizardTest, ChoosingJsonStoresItsPathsAndPreviewsAPastedAnswer) {
  ScriptedPrompts prompts;
  EngineWizard wizard{SampleEngine(), prompts};
  GoToResultFormatPage(wizard);
  auto* results = Child<QLineEdit>(&wizard, "jsonResults");
  EXPECT_TRUE(Child<QRadioButton>(&wizard, "formatHtml")->isChecked());
  EXPECT_FALSE(results->isEnabled());
  Child<QPlainTextEdit>(&wizard, "answer")->setPlainText(kBibliographyAnswer);
  EXPECT_TRUE(PreviewRows(wizard).isEmpty());
  EXPECT_TRUE(PreviewStatus(wizard).contains("anchors"));

  Child<QRadioButton>(&wizard, "formatJson")->click();
  EXPECT_TRUE(results->isEnabled());
  SetText(&wizard, "jsonResults", "message.item");  // a typo: the reader says why
  SetText(&wizard, "jsonUrl", "https://doi.org/{DOI}");
  SetText(&wizard, "jsonTitle", "title");
  EngineDefinition typo = SampleEngine();
  typo.web = JsonWeb("message.item");
  std::vector<ApiResult> none;
  EXPECT_EQ(PreviewStatus(wizard).toStdString(),
            ReadApiResults(typo, kBibliographyAnswer, none).message());
  EXPECT_TRUE(PreviewRows(wizard).isEmpty());

  // The preview follows each edit; a result without a DOI has no URL and is left out.
  SetText(&wizard, "jsonResults", "message.items");
  SetText(&wizard, "jsonSnippet", "container-title");
  EXPECT_EQ(PreviewStatus(wizard), "2 results read.");
  EXPECT_EQ(PreviewRows(wizard),
            (QStringList{QString::fromUtf8("Rivers & lakes \u2014 https://doi.org/10.1/a%20b"),
                         QString::fromUtf8("Deltas \u2014 https://doi.org/10.1/c")}));

  while (wizard.currentId() != EngineWizard::kAdvancedPage) wizard.next();
  wizard.button(QWizard::FinishButton)->click();
  ASSERT_EQ(wizard.result(), QDialog::Accepted);
  const std::string text = FileText(wizard.engine());
  EXPECT_NE(text.find("FMT = json\nJRL = message.items\nJUR = https://doi.org/{DOI}\n"
                      "JTI = title\nJSN = container-title\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(ReadBack(wizard.engine()), wizard.engine());
}

TEST(EngineWizardTest, AnEngineThroughEveryPageUntouchedIsWrittenBackByteForByte) {
  EngineDefinition plain = SampleEngine();
  plain.parameters[0].defaultValue.clear();  // the Advanced page clears it
  EngineDefinition spelled = plain;          // names kept as the file wrote them
  spelled.web.format = "HTML";
  spelled.web.resultClass = "result";
  spelled.web.jsonUrl = "url";
  EngineDefinition later = plain;  // a format of a later program
  later.web.format = "xml";
  later.web.jsonResults = "entries";
  for (const EngineDefinition& engine : {plain, spelled, later}) {
    ScriptedPrompts prompts;
    EngineWizard wizard{engine, prompts};
    wizard.show();
    while (wizard.currentId() != EngineWizard::kAdvancedPage) wizard.next();
    wizard.button(QWizard::FinishButton)->click();
    ASSERT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(FileText(wizard.engine()), FileText(engine));
  }
}

// Runs the event loop until the Fetch button is enabled again: the fetch has
// ended and its answer was shown.
bool WaitForFetch(EngineWizard& wizard) {
  auto* fetch = Child<QPushButton>(&wizard, "fetch");
  for (int i = 0; i < 60000 && !fetch->isEnabled(); ++i) {
    QApplication::processEvents();
    QThread::msleep(1);
  }
  return fetch->isEnabled();
}

TEST(EngineWizardTest, FetchAsksTheFirstPageOffTheUiThreadAndACloseCancelsIt) {
  test::LoopbackServer server(test::Answer(test::HttpResponse(
      "HTTP/1.0 200 OK", "Content-Type: application/json\r\n", kBibliographyAnswer)));
  EngineDefinition engine = SampleEngine();
  engine.searchUrl = server.Url("/api");
  engine.web = JsonWeb("message.items");
  ScriptedPrompts prompts;
  {
    EngineWizard wizard{engine, prompts};
    GoToResultFormatPage(wizard);
    SetText(&wizard, "fetchQuery", "lantern");
    Child<QPushButton>(&wizard, "fetch")->click();
    ASSERT_TRUE(WaitForFetch(wizard));
    EXPECT_EQ(Child<QLabel>(&wizard, "fetchStatus")->text().toStdString(),
              "HTTP 200, " + std::to_string(std::strlen(kBibliographyAnswer)) + " bytes. " +
                  server.Url("/api?q=lantern&lang=en&page=0"));
    EXPECT_EQ(Child<QPlainTextEdit>(&wizard, "answer")->toPlainText(), kBibliographyAnswer);
    EXPECT_EQ(PreviewRows(wizard).size(), 2);
    EXPECT_EQ(server.Received(0).rfind("GET /api?q=lantern&lang=en&page=0 HTTP/1.", 0), 0u)
        << server.Received(0);
  }

  // A server that never answers: closing the wizard ends the fetch at once.
  test::LoopbackServer silent([](test::ServerConnection& c) {
    c.ReadRequest();
    c.WaitForStop();
  });
  engine.searchUrl = silent.Url("/api");
  EngineWizard wizard{engine, prompts};
  GoToResultFormatPage(wizard);
  Child<QPushButton>(&wizard, "fetch")->click();
  EXPECT_FALSE(Child<QPushButton>(&wizard, "fetch")->isEnabled());
  wizard.reject();
  ASSERT_TRUE(WaitForFetch(wizard));
  EXPECT_EQ(Child<QLabel>(&wizard, "fetchStatus")->text(), "Cancelled.");
}

TEST(NameValueDialogTest, EachModeHasItsTitleAndFields) {
  struct Case {
    NameValueDialog::Mode mode;
    const char* title;
    bool value;
  } cases[] = {{NameValueDialog::Mode::Parameter, "Add Search Engine Parameter", true},
               {NameValueDialog::Mode::FileType, "File Type", false},
               {NameValueDialog::Mode::Profile, "Search Profiles", true},
               {NameValueDialog::Mode::DomainUrl, "Domain/URL", false},
               {NameValueDialog::Mode::Cookie, "Cookie URL", false}};
  ScriptedPrompts prompts;
  for (const Case& c : cases) {
    NameValueDialog dialog(c.mode, prompts);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), c.title);
    EXPECT_EQ(dialog.valueEdit()->isVisible(), c.value) << c.title;
    dialog.nameEdit()->setText(" as typed ");
    dialog.valueEdit()->setText("v");
    EXPECT_EQ(dialog.name(), " as typed ");
    EXPECT_EQ(dialog.value(), c.value ? "v" : "");
  }
}

}  // namespace
}  // namespace trovelane::ui
