#include "ui/dialogs/internet_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "net/base64.h"
#include "net/credentials.h"
#include "app/program_options_file.h"
#include "app/settings_file.h"
#include "platform/default_browser.h"

namespace trovelane::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

InternetSettingsDialog::InternetSettingsDialog(ProgramState& state, UserPrompts& prompts,
                                               std::function<std::string()> detectBrowser,
                                               QWidget* parent)
    : QDialog(parent), state_(state), prompts_(prompts), detectBrowser_(std::move(detectBrowser)) {
  setWindowTitle("t r o v e l a n e Internet Settings");
  const ProxySettings& proxy = state_.settings.proxy;

  useProxy_ = new QCheckBox("Connect using a proxy server.");
  useProxy_->setObjectName("useProxy");
  host_ = new QLineEdit;
  host_->setObjectName("host");
  port_ = new QLineEdit;
  port_->setObjectName("port");
  port_->setValidator(new QIntValidator(0, 65535, port_));
  port_->setMaximumWidth(70);
  cern_ = new QRadioButton("CERN");
  cern_->setObjectName("cern");
  socks_ = new QRadioButton("SOCKS 5");
  socks_->setObjectName("socks5");
  requiresAuth_ = new QCheckBox("Requires Authentification");
  requiresAuth_->setObjectName("requiresAuth");
  user_ = new QLineEdit;
  user_->setObjectName("user");
  password_ = new QLineEdit;
  password_->setObjectName("password");
  password_->setEchoMode(QLineEdit::Password);

  auto* proxyBox = new QGroupBox;
  auto* grid = new QGridLayout(proxyBox);
  grid->addWidget(useProxy_, 0, 0, 1, 4);
  grid->addWidget(new QLabel("Server Address"), 1, 0);
  grid->addWidget(host_, 1, 1);
  grid->addWidget(new QLabel("Port"), 1, 2);
  grid->addWidget(port_, 1, 3);
  auto* types = new QHBoxLayout;
  types->addWidget(cern_);
  types->addWidget(socks_);
  types->addStretch();
  grid->addLayout(types, 2, 1, 1, 3);
  grid->addWidget(requiresAuth_, 3, 0, 1, 4);
  grid->addWidget(new QLabel("User"), 4, 0);
  grid->addWidget(user_, 4, 1, 1, 3);
  grid->addWidget(new QLabel("Pass"), 5, 0);
  grid->addWidget(password_, 5, 1, 1, 3);

  speed_ = new QComboBox;
  speed_->setObjectName("speed");
  for (const char* label : kSpeedLabels) speed_->addItem(label);
  auto* bandwidth = new QGroupBox("Bandwidth");
  auto* bandwidthLayout = new QHBoxLayout(bandwidth);
  bandwidthLayout->addWidget(speed_);
  bandwidthLayout->addStretch();

  browser_ = new QLineEdit;
  browser_->setObjectName("browser");
  auto* browse = new QPushButton("...");
  browse->setObjectName("browse");
  browse->setAutoDefault(false);
  browse->setFixedWidth(32);
  auto* detect = new QPushButton("&Default");
  detect->setObjectName("default");
  detect->setAutoDefault(false);
  auto* browserBox = new QGroupBox("Browser Settings");
  auto* browserLayout = new QVBoxLayout(browserBox);
  browserLayout->addWidget(
      new QLabel("t r o v e l a n e detected your default browser at the \nfollowing path"));
  auto* browserRow = new QHBoxLayout;
  browserRow->addWidget(browser_, 1);
  browserRow->addWidget(browse);
  browserRow->addWidget(detect);
  browserLayout->addLayout(browserRow);

  // This program's own limits, kept in "trovelane.json".
  auto numberEdit = [](const char* name, int low, int high) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    edit->setValidator(new QIntValidator(low, high, edit));
    edit->setMaximumWidth(70);
    return edit;
  };
  connectTimeout_ = numberEdit("connectTimeout", 0, kMaxTimeoutSeconds);
  readTimeout_ = numberEdit("readTimeout", 0, kMaxTimeoutSeconds);
  maxPages_ = numberEdit("maxPages", 1, kMaxPagesPerEngineLimit);
  validationsPerEngine_ = numberEdit("validationsPerEngine", 1, kMaxValidationsLimit);
  validationsPerSearch_ = numberEdit("validationsPerSearch", 1, kMaxValidationsLimit);
  auto* limits = new QGroupBox("Limits");
  auto* limitsLayout = new QFormLayout(limits);
  limitsLayout->addRow("Connect time-out (seconds, 0 = none)", connectTimeout_);
  limitsLayout->addRow("Read time-out (seconds, 0 = none)", readTimeout_);
  limitsLayout->addRow("Result pages per engine", maxPages_);
  limitsLayout->addRow("Validations at once per engine", validationsPerEngine_);
  limitsLayout->addRow("Validations at once in all", validationsPerSearch_);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(proxyBox);
  layout->addWidget(bandwidth);
  layout->addWidget(browserBox);
  layout->addWidget(limits);
  layout->addWidget(box);

  // The fields take the stored values.
  useProxy_->setChecked(proxy.enabled != 0);
  host_->setText(Q(proxy.host));
  port_->setText(QString::number(proxy.port));
  (proxy.type == kProxySocks5 ? socks_ : cern_)->setChecked(true);
  requiresAuth_->setChecked(proxy.requiresAuth != 0);
  if (proxy.enabled) {
    Credentials credentials = SplitCredentials(Base64Decode(proxy.credentials));
    user_->setText(Q(credentials.user));
    password_->setText(Q(credentials.password));
  }
  speedIndex_ = proxy.speedIndex;
  if (speedIndex_ >= 0 && speedIndex_ < speed_->count()) {
    speed_->setCurrentIndex(speedIndex_);
  } else {
    speed_->setCurrentIndex(-1);
  }
  browser_->setText(Q(proxy.browserPath));
  const ProgramOptions& program = state_.settings.program;
  connectTimeout_->setText(QString::number(program.connectTimeoutSeconds));
  readTimeout_->setText(QString::number(program.readTimeoutSeconds));
  maxPages_->setText(QString::number(program.maxPagesPerEngine));
  validationsPerEngine_->setText(QString::number(program.validationsPerEngine));
  validationsPerSearch_->setText(QString::number(program.validationsPerSearch));

  shownUser_ = user_->text();
  shownPassword_ = password_->text();
  connect(speed_, &QComboBox::activated, this, [this](int index) { speedIndex_ = index; });
  connect(useProxy_, &QCheckBox::clicked, this, [this] { ApplyEnabling(); });
  connect(requiresAuth_, &QCheckBox::clicked, this, [this] { ApplyEnabling(); });
  connect(browse, &QPushButton::clicked, this, [this] { BrowseForBrowser(); });
  connect(detect, &QPushButton::clicked, this, [this] {
    browser_->setText(Q(detectBrowser_ ? detectBrowser_() : DetectDefaultBrowser()));
  });
  ApplyEnabling();
}

void InternetSettingsDialog::ApplyEnabling() {
  bool on = useProxy_->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{host_, port_, requiresAuth_, cern_, socks_}) {
    w->setEnabled(on);
  }
  bool credentials = on && requiresAuth_->isChecked();
  user_->setEnabled(credentials);
  password_->setEnabled(credentials);
}

void InternetSettingsDialog::BrowseForBrowser() {
  FileRequest request{"Open", browser_->text(), "Executable Files (*)", {}, true};
  QString path = prompts_.OpenFileName(this, request);
  if (!path.isEmpty()) browser_->setText(path);
}

void InternetSettingsDialog::accept() {
  NetworkSettings settings = state_.settings;
  ProxySettings& proxy = settings.proxy;
  proxy.requiresAuth = requiresAuth_->isChecked() ? 1 : 0;
  proxy.enabled = useProxy_->isChecked() ? 1 : 0;
  bool portIsNumber = false;
  const int port = port_->text().trimmed().toInt(&portIsNumber);
  if (!portIsNumber || port < 1 || port > 65535) {
    // A proxy that is off may keep an empty port field or the 0 of a new
    // install; the stored port stays.
    const bool unset = port_->text().trimmed().isEmpty() || (portIsNumber && port == 0);
    if (proxy.enabled || !unset) {
      prompts_.Inform(this, QStringLiteral("The proxy port must be a number from 1 to 65535."));
      port_->setFocus();
      port_->selectAll();
      return;
    }
  } else {
    proxy.port = port;
  }
  proxy.type = socks_->isChecked() ? kProxySocks5 : kProxyCern;
  proxy.host = host_->text().toStdString();
  proxy.speedIndex = speedIndex_;
  proxy.browserPath = browser_->text().toStdString();
  // Stored credentials are only replaced by what the user changed: the fields
  // start empty while the proxy is off, and an OK after merely turning it on
  // must not store an empty login over the saved one.
  const bool credentialsEdited = user_->text() != shownUser_ || password_->text() != shownPassword_;
  if (proxy.requiresAuth && proxy.enabled && credentialsEdited) {
    Credentials credentials{user_->text().toStdString(), password_->text().toStdString()};
    if (Status check = CheckCredentials(credentials); !check.ok()) {
      prompts_.Inform(this, Q(check.message()));
      return;
    }
    proxy.credentials = EncodeCredentials(credentials);
  }
  // Each limit is checked here so that a refusal names the field as the
  // dialog labels it.
  const struct {
    QLineEdit* edit;
    const char* label;
    int low;
    int high;
    int32_t* value;
  } limits[] = {
      {connectTimeout_, "The connect time-out", 0, kMaxTimeoutSeconds,
       &settings.program.connectTimeoutSeconds},
      {readTimeout_, "The read time-out", 0, kMaxTimeoutSeconds,
       &settings.program.readTimeoutSeconds},
      {maxPages_, "Result pages per engine", 1, kMaxPagesPerEngineLimit,
       &settings.program.maxPagesPerEngine},
      {validationsPerEngine_, "Validations at once per engine", 1, kMaxValidationsLimit,
       &settings.program.validationsPerEngine},
      {validationsPerSearch_, "Validations at once in all", 1, kMaxValidationsLimit,
       &settings.program.validationsPerSearch},
  };
  for (const auto& limit : limits) {
    bool isNumber = false;
    const int value = limit.edit->text().trimmed().toInt(&isNumber);
    if (!isNumber || value < limit.low || value > limit.high) {
      prompts_.Inform(this, QStringLiteral("%1 must be a number from %2 to %3.")
                                .arg(limit.label)
                                .arg(limit.low)
                                .arg(limit.high));
      limit.edit->setFocus();
      limit.edit->selectAll();
      return;
    }
    *limit.value = value;
  }
  Status checked = CheckNetworkSettings(settings);
  if (checked.ok()) checked = CheckProgramOptions(settings.program);
  if (!checked.ok()) {
    prompts_.Inform(this, Q(checked.message()));
    return;
  }
  if (Status saved = SaveNetworkSettings(state_.SettingsFile(), settings); !saved.ok()) {
    prompts_.Inform(this, Q(saved.message()));
    return;
  }
  state_.settings.proxy = proxy;
  if (Status saved = SaveProgramOptions(state_.ProgramOptionsFile(), settings.program);
      !saved.ok()) {
    prompts_.Inform(this, Q(saved.message()));
    return;
  }
  state_.settings.program = settings.program;
  emit settingsSaved();
  QDialog::accept();
}

}  // namespace trovelane::ui
