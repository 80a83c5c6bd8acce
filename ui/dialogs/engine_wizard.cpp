#include "ui/dialogs/engine_wizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "engines/api_results.h"
#include "engines/engine_extensions.h"
#include "engines/engine_file.h"
#include "net/http_url.h"
#include "search/answer_fetch.h"
#include "search/engine_check.h"
#include "ui/dialogs/name_value_dialog.h"

namespace trovelane::ui {
namespace {

// A wizard page whose checks and set-up the wizard supplies.
class Page : public QWizardPage {
 public:
  Page(const QString& title, std::function<bool()> validate = {},
       std::function<void()> initialize = {})
      : validate_(std::move(validate)), initialize_(std::move(initialize)) {
    setTitle(title);
  }
  bool validatePage() override { return validate_ ? validate_() : true; }
  void initializePage() override {
    if (initialize_) initialize_();
  }

 private:
  std::function<bool()> validate_;
  std::function<void()> initialize_;
};

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

QLineEdit* NamedEdit(const char* objectName) {
  auto* edit = new QLineEdit;
  edit->setObjectName(objectName);
  return edit;
}

QRadioButton* AddRadio(QButtonGroup* group, int id, const char* text, const QString& objectName,
                       QLayout* layout) {
  auto* radio = new QRadioButton(text);
  radio->setObjectName(objectName);
  group->addButton(radio, id);
  layout->addWidget(radio);
  return radio;
}

void CheckId(QButtonGroup* group, int id) {
  if (QAbstractButton* button = group->button(id)) button->setChecked(true);
}

// The checked code of a radio group, or `kept` when none is checked (a code
// from a file that none of the buttons stands for).
int CheckedId(const QButtonGroup* group, int kept) {
  int id = group->checkedId();
  return id < 0 ? kept : id;
}

void FillList(QListWidget* list, const std::vector<std::string>& lines) {
  list->clear();
  for (const std::string& line : lines) list->addItem(Q(line));
}

std::vector<std::string> ListLines(const QListWidget* list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list->count(); ++i) lines.push_back(S(list->item(i)->text()));
  return lines;
}

bool IsSpecial(const EngineParameter& p) {
  return p.roleCode == SEARCH_TEXT || p.roleCode == RESULT_POSITION;
}

// The most of a fetched answer put into the answer box: a long line of JSON
// makes a text box slow, and the preview reads the whole answer anyway.
constexpr size_t kShownAnswerBytes = 256 * 1024;

// The name a format is written with when the user picks it.
std::string FormatName(int format) {
  switch (static_cast<ResultFormat>(format)) {
    case ResultFormat::kJson:
      return "json";
    case ResultFormat::kFeed:
      return "feed";
    default:
      return "";
  }
}

}  // namespace

EngineWizard::EngineWizard(const EngineDefinition& engine, UserPrompts& prompts, QWidget* parent)
    : QWizard(parent), prompts_(prompts), engine_(engine) {
  setWindowTitle("Add Search Engine Wizard");
  setWizardStyle(QWizard::ClassicStyle);
  setOption(QWizard::NoBackButtonOnStartPage, true);
  setPage(kInfoPage, MakeInfoPage());
  setPage(kBooleanPage, MakeBooleanPage());
  setPage(kFileTypesPage, MakeListsPage(false));
  setPage(kResultsTypePage, MakeResultsTypePage());
  setPage(kResultFormatPage, MakeResultFormatPage());
  setPage(kSkipPage, MakeListsPage(true));
  setPage(kCookiePage, MakeCookiePage());
  setPage(kAdvancedPage, MakeAdvancedPage());
  setStartId(kInfoPage);
  LoadControls();
}

EngineWizard::~EngineWizard() {
  if (fetchThread_.joinable()) {
    fetchConnection_->Cancel();
    fetchThread_.join();
  }
}

void EngineWizard::done(int result) {
  if (fetchConnection_) fetchConnection_->Cancel();
  QWizard::done(result);
}

QWizardPage* EngineWizard::MakeInfoPage() {
  auto* page = new Page("Search Engine Information", [this] { return CheckInfoPage(); });

  name_ = NamedEdit("name");
  searchUrl_ = NamedEdit("searchUrl");
  searchTextId_ = NamedEdit("searchTextId");
  resultsPerPage_ = NamedEdit("resultsPerPage");
  resultsPerPage_->setValidator(new QIntValidator(0, INT32_MAX, resultsPerPage_));
  resultId_ = NamedEdit("resultId");

  auto* methodBox = new QGroupBox("Search Technique");
  auto* methodLayout = new QHBoxLayout(methodBox);
  method_ = new QButtonGroup(page);
  AddRadio(method_, GET, "GET", "get", methodLayout);
  AddRadio(method_, POST, "POST", "post", methodLayout);
  methodLayout->addStretch();

  auto* form = new QFormLayout;
  form->addRow("Search Engine Name", name_);
  form->addRow(methodBox);
  form->addRow("Search URL", searchUrl_);
  form->addRow("Search Text Id", searchTextId_);
  form->addRow("Default No. of Results", resultsPerPage_);
  form->addRow("Result Variable Id", resultId_);

  auto* techniqueBox = new QGroupBox("Result iteration technique");
  auto* techniqueGrid = new QGridLayout(techniqueBox);
  technique_ = new QButtonGroup(page);
  for (int code = RESULT_PLUS_0; code <= AUTO_2; ++code) {
    auto* radio = new QRadioButton(IterationTechniqueLabel(code));
    radio->setObjectName(QString("technique%1").arg(code));
    technique_->addButton(radio, code);
    techniqueGrid->addWidget(radio, code % 2, code / 2);
  }
  auto* note = new QLabel(
      "For auto result iteration technique, the values are taken from the "
      "search result.");
  note->setWordWrap(true);
  techniqueGrid->addWidget(note, 2, 0, 1, 3);

  requiresCookies_ = new QCheckBox("Requires the use of Cookies.");
  requiresCookies_->setObjectName("requiresCookies");

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addWidget(techniqueBox);
  layout->addWidget(requiresCookies_);
  layout->addStretch();
  return page;
}

QWizardPage* EngineWizard::MakeBooleanPage() {
  auto* page = new Page("Search Combination Information", {}, [this] { ApplyBooleanEnabling(); });
  useBoolean_ = new QCheckBox("Use Boolean operators for this Search Engine.");
  useBoolean_->setObjectName("useBoolean");
  connect(useBoolean_, &QCheckBox::clicked, this, [this] { ApplyBooleanEnabling(); });

  andOperator_ = NamedEdit("andOperator");
  orOperator_ = NamedEdit("orOperator");
  notOperator_ = NamedEdit("notOperator");
  exactOperator_ = NamedEdit("exactOperator");
  auto* group = new QGroupBox("Boolean Operators");
  auto* form = new QFormLayout(group);
  form->addRow("AND Operator", andOperator_);
  form->addRow("OR Operator", orOperator_);
  form->addRow("NOT Operator", notOperator_);
  form->addRow("Exact Operator", exactOperator_);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(useBoolean_);
  layout->addWidget(group);
  layout->addStretch();
  return page;
}

void EngineWizard::ApplyBooleanEnabling() {
  bool on = useBoolean_->isChecked();
  for (QLineEdit* edit : {andOperator_, orOperator_, notOperator_, exactOperator_}) {
    edit->setEnabled(on);
  }
}

void EngineWizard::AddLine(QListWidget* list, int mode) {
  NameValueDialog dialog(static_cast<NameValueDialog::Mode>(mode), prompts_, this);
  if (dialog.exec() == QDialog::Accepted) list->addItem(dialog.name());
}

QWizardPage* EngineWizard::MakeListsPage(bool skipMode) {
  auto* page = new Page(skipMode ? "Domain/URL Skip Options" : "File Types");
  auto mode = static_cast<int>(skipMode ? NameValueDialog::Mode::DomainUrl
                                        : NameValueDialog::Mode::FileType);
  auto* layout = new QVBoxLayout(page);
  auto addList = [&](const char* label, const char* objectName) {
    auto* list = new QListWidget;
    list->setObjectName(objectName);
    auto* plus = new QPushButton("+");
    plus->setObjectName(QString(objectName) + "Add");
    auto* minus = new QPushButton("-");
    minus->setObjectName(QString(objectName) + "Remove");
    for (QPushButton* b : {plus, minus}) b->setFixedWidth(32);
    connect(plus, &QPushButton::clicked, this, [this, list, mode] { AddLine(list, mode); });
    connect(minus, &QPushButton::clicked, this, [list] {
      if (QListWidgetItem* item = list->currentItem(); item && item->isSelected()) delete item;
    });
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(plus);
    buttons->addWidget(minus);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(list);
    row->addLayout(buttons);
    layout->addWidget(new QLabel(label));
    layout->addLayout(row);
    return list;
  };
  if (skipMode) {
    skippedDomains_ = addList("The following domains will be skipped", "skippedDomains");
    skippedUrls_ = addList("The following URL's will be skipped", "skippedUrls");
  } else {
    searchedFileTypes_ =
        addList("The following file types will be searched for this Engine.", "searchedFileTypes");
    autoAddFileTypes_ = addList("Automatic addition without search.", "autoAddFileTypes");
  }
  return page;
}

QWizardPage* EngineWizard::MakeResultsTypePage() {
  auto* page = new Page("Search Engine Results Type");
  auto* layout = new QVBoxLayout(page);
  linkType_ = new QButtonGroup(page);
  AddRadio(linkType_, DIRECT, "Direct hyperlinks as results. (Default)", "direct", layout);
  AddRadio(linkType_, INDIRECT, "Indirect link. (Provide information below)", "indirect", layout);
  indirectLinkName_ = NamedEdit("indirectLinkName");
  referer_ = NamedEdit("referer");
  layout->addWidget(new QLabel("Enter Indirect hyperlink file name. eg download.asp"));
  layout->addWidget(indirectLinkName_);
  auto* refererLabel = new QLabel(
      "Enter the URL Referer.Leave blank if the search engine does not mandate this field.");
  refererLabel->setWordWrap(true);
  layout->addWidget(refererLabel);
  layout->addWidget(referer_);
  layout->addWidget(new QLabel("Indirect hyperlinks cannot be checked for relevance."));
  layout->addStretch();
  return page;
}

QWizardPage* EngineWizard::MakeResultFormatPage() {
  auto* page = new Page("Search Engine Result Format", {}, [this] {
    ApplyFormatEnabling();
    UpdateAnswerPreview();
  });

  auto* formatBox = new QGroupBox("The search engine answers with");
  auto* formatLayout = new QHBoxLayout(formatBox);
  format_ = new QButtonGroup(page);
  AddRadio(format_, static_cast<int>(ResultFormat::kHtml), "An HTML page (Default)", "formatHtml",
           formatLayout);
  AddRadio(format_, static_cast<int>(ResultFormat::kJson), "JSON", "formatJson", formatLayout);
  AddRadio(format_, static_cast<int>(ResultFormat::kFeed), "An RSS or Atom feed", "formatFeed",
           formatLayout);
  formatLayout->addStretch();

  jsonResults_ = NamedEdit("jsonResults");
  jsonResults_->setPlaceholderText("e.g. message.items; empty: the answer is the list");
  jsonUrl_ = NamedEdit("jsonUrl");
  jsonUrl_->setPlaceholderText("e.g. url, or https://doi.org/{DOI}; alternatives joined by ||");
  jsonTitle_ = NamedEdit("jsonTitle");
  jsonTitle_->setPlaceholderText("e.g. title");
  jsonSnippet_ = NamedEdit("jsonSnippet");
  jsonSnippet_->setPlaceholderText("e.g. snippet; may be empty");
  auto* jsonBox = new QGroupBox("JSON answers: where each result is found");
  auto* jsonForm = new QFormLayout(jsonBox);
  jsonForm->addRow("Results path", jsonResults_);
  jsonForm->addRow("URL path or template", jsonUrl_);
  jsonForm->addRow("Title path", jsonTitle_);
  jsonForm->addRow("Snippet path", jsonSnippet_);
  auto* pathHint = new QLabel(
      "Names joined by '.', array elements as [n] (items[0].link); the URL, title and "
      "snippet paths start at one result.");
  pathHint->setWordWrap(true);
  jsonForm->addRow(pathHint);

  answer_ = new QPlainTextEdit;
  answer_->setObjectName("answer");
  answer_->setPlaceholderText("Paste an answer of the search engine here, or fetch one.");
  answer_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  fetchQuery_ = NamedEdit("fetchQuery");
  fetchQuery_->setText(kEngineCheckQuery);
  fetch_ = new QPushButton("&Fetch");
  fetch_->setObjectName("fetch");
  fetch_->setAutoDefault(false);
  fetchStatus_ = new QLabel;
  fetchStatus_->setObjectName("fetchStatus");
  fetchStatus_->setWordWrap(true);
  fetchStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* fetchRow = new QHBoxLayout;
  fetchRow->addWidget(new QLabel("Search for"));
  fetchRow->addWidget(fetchQuery_, 1);
  fetchRow->addWidget(fetch_);

  answerStatus_ = new QLabel;
  answerStatus_->setObjectName("answerStatus");
  answerStatus_->setWordWrap(true);
  answerResults_ = new QListWidget;
  answerResults_->setObjectName("answerResults");
  answerResults_->setWordWrap(true);
  answerResults_->setAlternatingRowColors(true);

  auto* answerBox = new QGroupBox("Answer");
  auto* answerLayout = new QVBoxLayout(answerBox);
  answerLayout->addLayout(fetchRow);
  answerLayout->addWidget(fetchStatus_);
  answerLayout->addWidget(answer_, 1);
  auto* previewBox = new QGroupBox("Preview: the results read from it");
  auto* previewLayout = new QVBoxLayout(previewBox);
  previewLayout->addWidget(answerStatus_);
  previewLayout->addWidget(answerResults_, 1);
  auto* answerRow = new QHBoxLayout;
  answerRow->addWidget(answerBox, 1);
  answerRow->addWidget(previewBox, 1);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(formatBox);
  layout->addWidget(jsonBox);
  layout->addLayout(answerRow, 1);
  // Room for a pasted answer and for results whose title and URL are long.
  page->setMinimumSize(660, 500);

  connect(format_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (!checked) return;
    ApplyFormatEnabling();
    UpdateAnswerPreview();
  });
  for (QLineEdit* edit : {jsonResults_, jsonUrl_, jsonTitle_, jsonSnippet_}) {
    connect(edit, &QLineEdit::textChanged, this, [this] { UpdateAnswerPreview(); });
  }
  connect(answer_, &QPlainTextEdit::textChanged, this, [this] {
    answerIsFetched_ = false;
    UpdateAnswerPreview();
  });
  connect(fetch_, &QPushButton::clicked, this, [this] { StartFetch(); });
  return page;
}

void EngineWizard::ApplyFormatEnabling() {
  const bool json = format_->checkedId() == static_cast<int>(ResultFormat::kJson);
  for (QLineEdit* edit : {jsonResults_, jsonUrl_, jsonTitle_, jsonSnippet_}) {
    edit->setEnabled(json);
  }
}

// The preview reads the answer by the definition as the controls now stand,
// with the reader a search uses, so that what it lists is what a search
// would find in that answer.
void EngineWizard::UpdateAnswerPreview() {
  answerResults_->clear();
  EngineDefinition candidate = engine_;
  StoreControls(candidate);
  if (ResultFormatOf(candidate.web) == ResultFormat::kHtml) {
    answerStatus_->setText(
        "An HTML page is read by its anchors, as the Results Type page and the skip lists say; "
        "the preview lists the results of JSON answers and feeds.");
    return;
  }
  const std::string body = answerIsFetched_ ? fetchedBody_ : S(answer_->toPlainText());
  if (body.empty()) {
    answerStatus_->setText("Paste an answer or fetch one to see the results read from it.");
    return;
  }
  std::vector<ApiResult> results;
  if (Status read = ReadApiResults(candidate, body, results); !read.ok()) {
    answerStatus_->setText(Q(read.message()));
    return;
  }
  answerStatus_->setText(results.size() == 1 ? QString("1 result read.")
                                             : QString("%1 results read.").arg(results.size()));
  for (const ApiResult& result : results) {
    auto* item = new QListWidgetItem(Q(result.title) + " \u2014 " + Q(result.url));
    item->setToolTip(Q(result.snippet));
    answerResults_->addItem(item);
  }
}

void EngineWizard::StartFetch() {
  if (fetchThread_.joinable()) return;
  EngineDefinition candidate = engine_;
  StoreControls(candidate);
  // The special parameters follow the Information page even before the
  // Advanced page was shown.
  candidate.parameters = SyncedParameters();
  if (!fetchConnection_) fetchConnection_ = std::make_unique<CHttpURL>();
  fetchConnection_->ResetCancel();
  fetch_->setEnabled(false);
  fetchStatus_->setText("Fetching...");
  fetchThread_ =
      std::thread([this, connection = fetchConnection_.get(), candidate = std::move(candidate),
                   query = S(fetchQuery_->text()), settings = settings_] {
        FetchedAnswer answer = FetchFirstAnswer(*connection, candidate, query, settings);
        // Delivered on the UI thread; dropped when the wizard is gone by then.
        QMetaObject::invokeMethod(
            this, [this, answer = std::move(answer)]() mutable { FinishFetch(std::move(answer)); },
            Qt::QueuedConnection);
      });
}

void EngineWizard::FinishFetch(FetchedAnswer answer) {
  if (fetchThread_.joinable()) fetchThread_.join();
  fetch_->setEnabled(true);
  if (answer.cancelled) {
    fetchStatus_->setText("Cancelled.");
    return;
  }
  QString status =
      answer.status.ok()
          ? QString("HTTP %1, %2 bytes.").arg(answer.httpStatus).arg(answer.body.size())
          : Q(answer.status.message());
  if (!answer.url.empty()) status += " " + Q(answer.url);
  if (!answer.body.empty()) {
    QString shown =
        QString::fromUtf8(answer.body.data(),
                          static_cast<qsizetype>(std::min(answer.body.size(), kShownAnswerBytes)));
    if (answer.body.size() > kShownAnswerBytes) {
      status += QString(" The box shows its first %1 KiB; the preview reads it all.")
                    .arg(kShownAnswerBytes / 1024);
    }
    answer_->setPlainText(shown);  // clears answerIsFetched_
    fetchedBody_ = std::move(answer.body);
    answerIsFetched_ = true;
    UpdateAnswerPreview();
  }
  fetchStatus_->setText(status);
}

QWizardPage* EngineWizard::MakeCookiePage() {
  auto* page = new Page("Search Engine Cookie Information");
  auto* layout = new QVBoxLayout(page);
  for (const char* text :
       {"Some search enignes only return results when t r o v e l a n e queries search results "
        "after visiting certain pages in a particular order.",
        "The search enigne sets cookie values which t r o v e l a n e can then use to retrieve "
        "the search results. Please provide the pages to be visited in the correct order."}) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    layout->addWidget(label);
  }
  cookieUrls_ = new QListWidget;
  cookieUrls_->setObjectName("cookieUrls");
  auto* plus = new QPushButton("+");
  plus->setObjectName("cookieUrlsAdd");
  auto* minus = new QPushButton("-");
  minus->setObjectName("cookieUrlsRemove");
  for (QPushButton* b : {plus, minus}) b->setFixedWidth(32);
  connect(plus, &QPushButton::clicked, this,
          [this] { AddLine(cookieUrls_, static_cast<int>(NameValueDialog::Mode::Cookie)); });
  connect(minus, &QPushButton::clicked, this, [this] {
    if (QListWidgetItem* item = cookieUrls_->currentItem(); item && item->isSelected()) delete item;
  });
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(plus);
  buttons->addWidget(minus);
  buttons->addStretch();
  auto* row = new QHBoxLayout;
  row->addWidget(cookieUrls_);
  row->addLayout(buttons);
  layout->addLayout(row);
  return page;
}

QWizardPage* EngineWizard::MakeAdvancedPage() {
  auto* page = new Page(
      "Advanced Search Engine Information", [this] { return FinishAdvancedPage(); },
      [this] { SyncSpecialParameters(); });
  parameterList_ = new QListWidget;
  parameterList_->setObjectName("parameters");
  preview_ = new QPlainTextEdit;
  preview_->setObjectName("preview");
  preview_->setReadOnly(true);
  preview_->setMaximumHeight(80);
  separator_ = NamedEdit("separator");
  separator_->installEventFilter(this);

  auto* buttons = new QVBoxLayout;
  const std::pair<const char*, const char*> texts[] = {{"&Add", "addParameter"},
                                                       {"&Del", "deleteParameter"},
                                                       {"&Up", "upParameter"},
                                                       {"&Dn", "downParameter"}};
  QPushButton* made[4];
  for (int i = 0; i < 4; ++i) {
    made[i] = new QPushButton(texts[i].first);
    made[i]->setObjectName(texts[i].second);
    made[i]->setAutoDefault(false);
    buttons->addWidget(made[i]);
  }
  buttons->addStretch();
  connect(made[0], &QPushButton::clicked, this, [this] { AddParameter(); });
  connect(made[1], &QPushButton::clicked, this, [this] { DeleteParameter(); });
  connect(made[2], &QPushButton::clicked, this, [this] { MoveParameter(-1); });
  connect(made[3], &QPushButton::clicked, this, [this] { MoveParameter(1); });

  auto* row = new QHBoxLayout;
  row->addWidget(parameterList_);
  row->addLayout(buttons);
  auto* separatorRow = new QFormLayout;
  separatorRow->addRow("Variable Separator", separator_);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(row);
  layout->addWidget(preview_);
  layout->addLayout(separatorRow);
  return page;
}

void EngineWizard::LoadControls() {
  const EngineDefinition& e = engine_;
  name_->setText(Q(e.name));
  CheckId(method_, e.method);
  searchUrl_->setText(Q(e.searchUrl));
  searchTextId_->setText(Q(e.searchTextId));
  resultsPerPage_->setText(QString::number(e.resultsPerPage));
  resultId_->setText(Q(e.resultId));
  CheckId(technique_, e.iterationTechnique);
  requiresCookies_->setChecked(e.requiresCookies != 0);

  useBoolean_->setChecked(e.useBoolean != 0);
  andOperator_->setText(Q(e.andOperator));
  orOperator_->setText(Q(e.orOperator));
  notOperator_->setText(Q(e.notOperator));
  exactOperator_->setText(Q(e.exactOperator));
  ApplyBooleanEnabling();

  FillList(searchedFileTypes_, e.searchedFileTypes);
  FillList(autoAddFileTypes_, e.autoAddFileTypes);
  CheckId(linkType_, e.linkType);
  indirectLinkName_->setText(Q(e.indirectLinkName));
  referer_->setText(Q(e.referer));
  const ResultFormat format = ResultFormatOf(e.web);
  if (format != ResultFormat::kUnknown) CheckId(format_, static_cast<int>(format));
  jsonResults_->setText(Q(e.web.jsonResults));
  jsonUrl_->setText(Q(e.web.jsonUrl));
  jsonTitle_->setText(Q(e.web.jsonTitle));
  jsonSnippet_->setText(Q(e.web.jsonSnippet));
  ApplyFormatEnabling();
  FillList(skippedDomains_, e.skippedDomains);
  FillList(skippedUrls_, e.skippedUrls);
  FillList(cookieUrls_, e.cookieUrls);

  separator_->setText(Q(e.separator));
  parameters_ = e.parameters;
  RefillParameters(-1);
}

void EngineWizard::StoreControls(EngineDefinition& e) const {
  e.name = S(name_->text());
  e.method = CheckedId(method_, e.method);
  e.searchUrl = S(searchUrl_->text());
  e.searchTextId = S(searchTextId_->text());
  e.resultsPerPage = resultsPerPage_->text().toInt();
  e.resultId = S(resultId_->text());
  e.iterationTechnique = CheckedId(technique_, e.iterationTechnique);
  e.requiresCookies = requiresCookies_->isChecked() ? 1 : 0;
  e.useBoolean = useBoolean_->isChecked() ? 1 : 0;
  e.andOperator = S(andOperator_->text());
  e.orOperator = S(orOperator_->text());
  e.notOperator = S(notOperator_->text());
  e.exactOperator = S(exactOperator_->text());
  e.searchedFileTypes = ListLines(searchedFileTypes_);
  e.autoAddFileTypes = ListLines(autoAddFileTypes_);
  e.linkType = CheckedId(linkType_, e.linkType);
  e.indirectLinkName = S(indirectLinkName_->text());
  e.referer = S(referer_->text());
  // The format is written anew only when the user picked another one, so
  // that a file keeps the name it gave ("JSON", "html") and an engine
  // without the line stays without it.
  if (int chosen = format_->checkedId();
      chosen >= 0 && chosen != static_cast<int>(ResultFormatOf(e.web))) {
    e.web.format = FormatName(chosen);
  }
  e.web.jsonResults = S(jsonResults_->text());
  e.web.jsonUrl = S(jsonUrl_->text());
  e.web.jsonTitle = S(jsonTitle_->text());
  e.web.jsonSnippet = S(jsonSnippet_->text());
  e.skippedDomains = ListLines(skippedDomains_);
  e.skippedUrls = ListLines(skippedUrls_);
  e.cookieUrls = ListLines(cookieUrls_);
  e.separator = S(separator_->text());
  e.parameters = parameters_;
}

bool EngineWizard::CheckInfoPage() {
  const char* problem = nullptr;
  if (name_->text().isEmpty()) {
    problem = "Search Engine name cannot be empty.";
  } else if (searchUrl_->text().isEmpty()) {
    problem = "Search Engine search URL cannot be empty.";
  } else if (searchTextId_->text().isEmpty()) {
    problem = "Search Engine search id cannot be empty";
  } else if (resultId_->text().isEmpty()) {
    problem = "Search Engine result id cannot be empty";
  } else if (resultsPerPage_->text().toInt() == 0) {
    problem = "Default number of results returned by the search engine is never 0.";
  }
  if (!problem) return true;
  prompts_.Inform(this, problem);
  return false;
}

std::vector<EngineParameter> EngineWizard::SyncedParameters() const {
  std::string textId = S(searchTextId_->text());
  std::string resultId = S(resultId_->text());
  if (parameters_.empty()) {
    EngineParameter text;
    text.roleCode = SEARCH_TEXT;
    text.name = textId;
    EngineParameter position;
    position.roleCode = RESULT_POSITION;
    position.name = resultId;
    return {text, position};
  }
  std::vector<EngineParameter> parameters = parameters_;
  for (EngineParameter& p : parameters) {
    if (p.roleCode == SEARCH_TEXT) {
      p.name = textId;
      p.defaultValue.clear();
    } else if (p.roleCode == RESULT_POSITION) {
      p.name = resultId;
      p.defaultValue.clear();
    }
  }
  return parameters;
}

void EngineWizard::SyncSpecialParameters() {
  parameters_ = SyncedParameters();
  RefillParameters(-1);
}

void EngineWizard::RefillParameters(int selectRow) {
  parameterList_->clear();
  for (const EngineParameter& p : parameters_) {
    parameterList_->addItem(Q(p.name) + " = " + Q(p.defaultValue));
  }
  if (selectRow >= 0 && selectRow < parameterList_->count()) {
    parameterList_->setCurrentRow(selectRow);
  }
  preview_->setPlainText(previewText());
}

QString EngineWizard::previewText() const {
  QString text = searchUrl_->text() + "?";
  QString separator = separator_->text();
  for (size_t i = 0; i < parameters_.size(); ++i) {
    const EngineParameter& p = parameters_[i];
    if (i > 0) text += separator;
    text += Q(p.name) + "=" + (IsSpecial(p) ? QString("?") : Q(p.defaultValue));
  }
  return text;
}

void EngineWizard::CheckSeparator() {
  if (checkingSeparator_) return;
  checkingSeparator_ = true;
  if (separator_->text().isEmpty()) {
    separator_->setText("&");
    prompts_.Inform(this, "Separator cannot be empty. Setting it to '&'");
  }
  preview_->setPlainText(previewText());
  checkingSeparator_ = false;
}

bool EngineWizard::eventFilter(QObject* watched, QEvent* event) {
  if (watched == separator_ && event->type() == QEvent::FocusOut) CheckSeparator();
  return QWizard::eventFilter(watched, event);
}

bool EngineWizard::FinishAdvancedPage() {
  CheckSeparator();
  EngineDefinition candidate = engine_;
  StoreControls(candidate);
  // A value that would break its line in the profile file is refused here,
  // where the user can still mend it, rather than when the profile is saved.
  if (Status checked = CheckEngineDefinition(candidate); !checked.ok()) {
    prompts_.Inform(this, Q(checked.message()));
    return false;
  }
  engine_ = std::move(candidate);
  return true;
}

void EngineWizard::AddParameter() {
  NameValueDialog dialog(NameValueDialog::Mode::Parameter, prompts_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  EngineParameter p;
  p.roleCode = FIXED;
  p.name = S(dialog.name());
  p.defaultValue = S(dialog.value());
  parameters_.push_back(p);
  RefillParameters(parameterList_->currentRow());
}

void EngineWizard::DeleteParameter() {
  int row = parameterList_->currentRow();
  if (row < 0 || row >= static_cast<int>(parameters_.size())) return;
  if (IsSpecial(parameters_[row])) {
    prompts_.Inform(this, "Cannot remove Search Id or Result Id parameters.");
    return;
  }
  parameters_.erase(parameters_.begin() + row);
  RefillParameters(-1);
}

void EngineWizard::MoveParameter(int step) {
  int row = parameterList_->currentRow();
  int other = row + step;
  if (row < 0 || other < 0 || other >= static_cast<int>(parameters_.size())) return;
  std::swap(parameters_[row], parameters_[other]);
  RefillParameters(other);
}

}  // namespace trovelane::ui
