#include "ui/dialogs/rank_options_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/program_options_file.h"

namespace trovelane::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QLineEdit* Edit(const char* name, const QString& placeholder) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setPlaceholderText(placeholder);
  edit->setMinimumWidth(320);
  return edit;
}

QLabel* Note(const char* text) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  QFont small = label->font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  label->setFont(small);
  return label;
}

}  // namespace

RankOptionsDialog::RankOptionsDialog(ProgramState& state, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), state_(state), prompts_(prompts) {
  setWindowTitle("t r o v e l a n e Rank and Engine Options");

  hiddenDomains_ = Edit("hiddenDomains", "pinterest.com, quora.com");
  domainFactors_ = Edit("domainFactors", "wikipedia.org=2, example.com=0.5");
  contact_ = Edit("contact", Q(kDefaultContact));
  searxng_ = Edit("searxng", "https://search.team.example");

  auto* rank = new QGroupBox("Rank");
  auto* rankLayout = new QFormLayout(rank);
  rankLayout->addRow("Domains never listed", hiddenDomains_);
  rankLayout->addRow("Rank factors by domain", domainFactors_);
  rankLayout->addRow(Note("A domain holds the hosts below it. A factor above 1 raises its "
                          "results in the rank order, one below 1 lowers them."));

  auto* engines = new QGroupBox("Engines");
  auto* enginesLayout = new QFormLayout(engines);
  enginesLayout->addRow("Contact address", contact_);
  enginesLayout->addRow("SearXNG instance", searxng_);
  enginesLayout->addRow(Note("Engines that ask for a contact (Wikipedia) name it in their "
                             "User-Agent. Giving a SearXNG instance selects the SearXNG "
                             "engine of the current profile."));

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(rank);
  layout->addWidget(engines);
  layout->addWidget(box);

  const ProgramOptions& program = state_.settings.program;
  hiddenDomains_->setText(Q(FormatDomainList(program.hiddenDomains)));
  domainFactors_->setText(Q(FormatDomainFactors(program.domainFactors)));
  contact_->setText(Q(program.contact));
  searxng_->setText(Q(program.searxng));
}

void RankOptionsDialog::accept() {
  ProgramOptions program = state_.settings.program;
  Status read = ParseDomainList(hiddenDomains_->text().toStdString(), &program.hiddenDomains);
  if (read.ok()) {
    read = ParseDomainFactors(domainFactors_->text().toStdString(), &program.domainFactors);
  }
  // An emptied contact field means the program's own address, as a fresh
  // install has.
  const std::string contact = contact_->text().trimmed().toStdString();
  program.contact = contact.empty() ? std::string(kDefaultContact) : contact;
  program.searxng = searxng_->text().trimmed().toStdString();
  // The two addresses are checked here so that a refusal names the field as
  // the dialog labels it.
  if (read.ok()) read = CheckContact(program.contact, "The contact address");
  if (read.ok()) read = CheckInstanceAddress(program.searxng, "The SearXNG instance");
  if (read.ok()) read = CheckProgramOptions(program);
  if (!read.ok()) {
    prompts_.Inform(this, Q(read.message()));
    return;
  }
  if (Status saved = SaveProgramOptions(state_.ProgramOptionsFile(), program); !saved.ok()) {
    prompts_.Inform(this, Q(saved.message()));
    return;
  }
  const bool newInstance = !program.searxng.empty() && program.searxng != state_.settings.program.searxng;
  state_.settings.program = program;
  // Only an address given anew selects the engines: an engine the user took
  // out of searches since stays out when OK is pressed again. The options
  // are saved by now; a profile that cannot be saved is reported, and the
  // engines stay as they were.
  if (newInstance) {
    if (Status taken = SelectInstanceEngines(state_, nullptr); !taken.ok()) {
      prompts_.Inform(this, Q(taken.message()));
    }
  }
  emit settingsSaved();
  QDialog::accept();
}

}  // namespace trovelane::ui
