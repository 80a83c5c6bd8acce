#include "ui/dialogs/search_settings_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <fstream>
#include <sstream>

#include "engines/engine_file.h"
#include "engines/plugin_name.h"
#include "engines/profile.h"
#include "app/settings_file.h"
#include "ui/dialogs/add_engine_dialog.h"
#include "ui/dialogs/engine_wizard.h"
#include "ui/dialogs/option_pages.h"

namespace trovelane::ui {
namespace {

constexpr const char* kEngineFilter = "Search Engine Configuration Files (*.eng)";

// A round mark: filled green with a tick for an engine that takes part in
// searches, an empty grey ring for one that does not.
QIcon EngineIcon(bool selected) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  if (selected) {
    painter.setPen(QPen(QColor(0x1e, 0x7b, 0x34), 1));
    painter.setBrush(QColor(0x34, 0xa8, 0x53));
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawPolyline(QPolygonF({{4.5, 8.0}, {7.0, 10.5}, {11.5, 5.5}}));
  } else {
    painter.setPen(QPen(QColor(0x90, 0x90, 0x90), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(2, 2, 12, 12));
  }
  return QIcon(pixmap);
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

SearchSettingsDialog::SearchSettingsDialog(ProgramState& state, UserPrompts& prompts,
                                           QWidget* parent)
    : QDialog(parent), state_(state), prompts_(prompts) {
  setWindowTitle("Search Settings");

  engines_ = new QTableWidget(0, 1);
  engines_->setObjectName("engines");
  engines_->setHorizontalHeaderLabels({"Search Engine"});
  engines_->horizontalHeader()->setStretchLastSection(true);
  engines_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  engines_->verticalHeader()->hide();
  engines_->verticalHeader()->setDefaultSectionSize(20);
  engines_->setShowGrid(true);
  engines_->setSelectionBehavior(QAbstractItemView::SelectRows);
  engines_->setSelectionMode(QAbstractItemView::SingleSelection);
  engines_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  engines_->setIconSize(QSize(16, 16));
  engines_->setMinimumWidth(300);
  engines_->setContextMenuPolicy(Qt::CustomContextMenu);
  // Space takes the current engine in or out of searches, as a click does.
  engines_->installEventFilter(this);
  connect(engines_, &QTableWidget::cellClicked, this, [this](int row, int) { ToggleRow(row); });
  connect(engines_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { EditSelected(); });
  connect(engines_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (engines_->itemAt(at) == nullptr) return;
    QMenu* menu = MakeContextMenu();
    menu->exec(engines_->viewport()->mapToGlobal(at));
    delete menu;
  });

  auto* buttons = new QVBoxLayout;
  const std::pair<const char*, void (SearchSettingsDialog::*)()> commands[] = {
      {"&Add", &SearchSettingsDialog::AddEngine},
      {"&Edit", &SearchSettingsDialog::EditSelectedAsIs},
      {"&Remove", &SearchSettingsDialog::RemoveSelected},
      {"&Import", &SearchSettingsDialog::ImportEngine},
      {"E&xport", &SearchSettingsDialog::ExportSelected}};
  for (const auto& [text, command] : commands) {
    auto* button = new QPushButton(text);
    button->setObjectName(QString(text).remove('&').toLower());
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, command);
    buttons->addWidget(button);
  }
  buttons->addStretch();

  auto* top = new QHBoxLayout;
  top->addWidget(engines_, 1);
  top->addLayout(buttons);

  options_ = new OptionsSheet;
  options_->setObjectName("options");
  options_->Load(state_.settings.search);
  options_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(options_);
  layout->addWidget(box);
  resize(640, 560);
  Refill();
}

QMenu* SearchSettingsDialog::MakeContextMenu() {
  auto* menu = new QMenu(this);
  connect(menu->addAction("&Edit"), &QAction::triggered, this, [this] { EditSelected(); });
  connect(menu->addAction("E&xport"), &QAction::triggered, this, [this] { ExportSelected(); });
  connect(menu->addAction("&Remove"), &QAction::triggered, this, [this] { RemoveSelected(); });
  return menu;
}

void SearchSettingsDialog::Refill() {
  std::vector<std::filesystem::path> folders = state_.home.PluginFolders();
  engines_->clearContents();
  engines_->setRowCount(static_cast<int>(state_.catalogue.engines.size()));
  for (int row = 0; row < engines_->rowCount(); ++row) {
    const EngineDefinition& engine = state_.catalogue.engines[row];
    engines_->setItem(row, 0, new QTableWidgetItem(Q(EngineDisplayName(engine, folders))));
    UpdateRowIcon(row);
  }
  engines_->clearSelection();
  engines_->setCurrentItem(nullptr);
}

void SearchSettingsDialog::UpdateRowIcon(int row) {
  if (QTableWidgetItem* item = engines_->item(row, 0)) {
    item->setIcon(EngineIcon(state_.catalogue.engines[row].selected == 1));
  }
}

int SearchSettingsDialog::SelectedRow() const {
  QList<QTableWidgetItem*> items = engines_->selectedItems();
  if (items.isEmpty()) return -1;
  int row = items.first()->row();
  return row < static_cast<int>(state_.catalogue.engines.size()) ? row : -1;
}

void SearchSettingsDialog::ToggleRow(int row) {
  if (row < 0 || row >= static_cast<int>(state_.catalogue.engines.size())) return;
  int& selected = state_.catalogue.engines[row].selected;
  selected = selected == 1 ? 0 : 1;
  UpdateRowIcon(row);
}

void SearchSettingsDialog::AddEngine() {
  AddEngineDialog choice(this);
  if (choice.exec() != QDialog::Accepted) return;
  if (choice.choice() == AddEngineDialog::kAddPlugin) {
    PluginInformationDialog plugin(prompts_, this);
    if (plugin.exec() != QDialog::Accepted) return;
    EngineDefinition engine;
    engine.isPlugin = true;
    engine.searchUrl = "plugin";
    engine.name = plugin.fileName().toStdString();
    if (Status checked = CheckEngineDefinition(engine); !checked.ok()) {
      prompts_.Inform(this, Q(checked.message()));
      return;
    }
    state_.catalogue.engines.push_back(std::move(engine));
  } else {
    EngineWizard wizard(EngineDefinition{}, prompts_, this);
    wizard.setNetworkSettings(state_.settings);
    if (wizard.exec() != QDialog::Accepted) return;
    state_.catalogue.engines.push_back(wizard.engine());
  }
  Refill();
}

void SearchSettingsDialog::RemoveSelected() {
  int row = SelectedRow();
  if (row < 0) return;
  state_.catalogue.engines.erase(state_.catalogue.engines.begin() + row);
  Refill();
}

void SearchSettingsDialog::EditSelected() { EditRow(SelectedRow(), true); }

void SearchSettingsDialog::EditSelectedAsIs() { EditRow(SelectedRow(), false); }

bool SearchSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == engines_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
      static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
    ToggleRow(engines_->currentRow());
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void SearchSettingsDialog::EditRow(int row, bool invertFirst) {
  if (row < 0) return;
  if (state_.catalogue.engines[row].isPlugin) {
    prompts_.Inform(this, "Plugins cannot be edited!");
    return;
  }
  // A double click reaches here after the click that inverted the flag, so
  // inverting it again leaves it as it was; the context menu's Edit leaves it
  // inverted.
  if (invertFirst) ToggleRow(row);
  EngineWizard wizard(state_.catalogue.engines[row], prompts_, this);
  wizard.setNetworkSettings(state_.settings);
  if (wizard.exec() != QDialog::Accepted) return;
  if (row < static_cast<int>(state_.catalogue.engines.size())) {
    state_.catalogue.engines[row] = wizard.engine();
  }
  Refill();
}

void SearchSettingsDialog::ExportSelected() {
  int row = SelectedRow();
  if (row < 0) return;
  const EngineDefinition& engine = state_.catalogue.engines[row];
  FileRequest request{"Save As", Q(engine.name) + ".eng", kEngineFilter, "eng"};
  QString path = prompts_.SaveFileName(this, request);
  if (path.isEmpty()) return;
  std::ostringstream text;
  if (Status written = WriteEngineDefinition(engine, text); !written.ok()) {
    prompts_.Inform(this, Q(written.message()));
    return;
  }
  if (!WriteFileAtomically(path.toStdString(), text.str()).ok()) {
    prompts_.Inform(this, "Error opening the file for writing");
  }
}

void SearchSettingsDialog::ImportEngine() {
  FileRequest request{"Open", "*.eng", kEngineFilter, "eng"};
  QString path = prompts_.OpenFileName(this, request);
  if (path.isEmpty()) return;
  std::ifstream in(path.toStdString(), std::ios::binary);
  if (!in) {
    prompts_.Inform(this, "Error opening the file for reading");
    return;
  }
  EngineDefinition engine;
  if (!ReadEngineDefinition(engine, in)) return;  // an incomplete file adds nothing
  if (Status identity = CheckEngineIdentity(engine); !identity.ok()) {
    prompts_.Inform(this,
                    Q(path.toStdString() + ": " + identity.message() + "; nothing was imported."));
    return;
  }
  state_.catalogue.engines.push_back(std::move(engine));
  Refill();
}

void SearchSettingsDialog::accept() {
  std::string profile = state_.CurrentProfileFile();
  if (profile.empty()) {
    prompts_.Inform(this,
                    "There is no current search profile: the engines are kept until the "
                    "program ends, but not saved.");
  } else if (Status saved = SaveProfile(profile, state_.catalogue); !saved.ok()) {
    prompts_.Inform(this, Q(saved.message()));
    return;
  }

  NetworkSettings settings = state_.settings;
  options_->Store(settings.search);
  if (Status saved = SaveNetworkSettings(state_.SettingsFile(), settings); !saved.ok()) {
    prompts_.Inform(this, Q(saved.message()));
    return;
  }
  state_.settings.search = settings.search;
  emit settingsSaved();
  QDialog::accept();
}

}  // namespace trovelane::ui
