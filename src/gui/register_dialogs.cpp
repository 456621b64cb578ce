// The register's dialogs.
#include "gui/register_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "gui/dialogs.h"
#include "model/date_text.h"
#include "model/file_io.h"
#include "register/code_check.h"
#include "render/qt_paths.h"
#include "report/report_parameters.h"

namespace kro::gui {

namespace {

std::string text(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

QLineEdit* pinEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setEchoMode(QLineEdit::Password);
  return edit;
}

// A form of a few fields with OK and Cancel; the caller adds the rows.
struct Form {
  QDialog dialog;
  QFormLayout* rows;
  Form(QWidget* parent, const QString& title, const char* name) : dialog(parent) {
    dialog.setWindowTitle(title);
    dialog.setObjectName(name);
    auto* layout = new QVBoxLayout(&dialog);
    rows = new QFormLayout;
    layout->addLayout(rows);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
  }
};

QTableWidget* newTable(QWidget* parent, const char* name) {
  auto* t = new QTableWidget(parent);
  t->setObjectName(name);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->verticalHeader()->hide();
  t->horizontalHeader()->setStretchLastSection(true);
  return t;
}

std::optional<CalendarDate> dayOf(const QDateEdit* edit) {
  if (edit->date() == edit->minimumDate()) return std::nullopt;  // shown as empty
  return CalendarDate{edit->date().year(), edit->date().month(), edit->date().day()};
}

QDateEdit* dayEdit(QWidget* parent, const char* name, bool optional) {
  auto* edit = new QDateEdit(parent);
  edit->setObjectName(name);
  edit->setCalendarPopup(true);
  edit->setDisplayFormat("yyyy-MM-dd");
  if (optional) {
    edit->setMinimumDate(QDate(2000, 1, 1));
    edit->setSpecialValueText("不限");
    edit->setDate(edit->minimumDate());
  } else {
    edit->setDate(QDate::currentDate());
  }
  return edit;
}

// A ledger in a table: its heading and rows; lapsed instruments and failing or void reports
// stand out.
void fillTable(QTableWidget* table, const LedgerTable& ledger) {
  table->clear();
  table->setColumnCount(static_cast<int>(ledger.heading.size()));
  table->setRowCount(static_cast<int>(ledger.rows.size()));
  QStringList heading;
  for (const std::string& h : ledger.heading) heading << qt(h);
  table->setHorizontalHeaderLabels(heading);
  for (std::size_t r = 0; r < ledger.rows.size(); ++r) {
    for (std::size_t c = 0; c < ledger.rows[r].size(); ++c) {
      auto* item = new QTableWidgetItem(qt(ledger.rows[r][c]));
      const std::string& v = ledger.rows[r][c];
      if (v == "已过期" || v == "不合格" || v == "已作废") item->setForeground(Qt::red);
      table->setItem(static_cast<int>(r), static_cast<int>(c), item);
    }
  }
  table->resizeColumnsToContents();
}

}  // namespace

IssueDialog::IssueDialog(Register& reg, const std::vector<ReportRecord>& ofProject, const QString& folder,
                         QWidget* parent)
    : QDialog(parent), step_(pendingStep(ofProject)) {
  setWindowTitle("签发报告");
  setObjectName("issueDialog");
  auto* layout = new QVBoxLayout(this);
  auto* state =
      new QLabel(qt("签发状态：" + registerStateText(ofProject) + "。下一步：" + std::string(step_)), this);
  state->setObjectName("issueState");
  layout->addWidget(state);
  auto* form = new QFormLayout;
  const Role role = step_ == "起草" ? Role::Tester : step_ == "审核" ? Role::Reviewer : Role::Approver;
  person_ = new QComboBox(this);
  person_->setObjectName("person");
  if (auto people = reg.people()) {
    for (const Person& p : people.value()) {
      if (p.active && p.has(role)) person_->addItem(qt(p.name));
    }
  }
  form->addRow(qt(std::string(roleName(role)) + "人："), person_);
  pin_ = pinEdit(this, "pin");
  form->addRow("个人密码：", pin_);
  if (step_ == "起草") {
    format_ = new QComboBox(this);
    format_->setObjectName("format");
    for (int f = 0; f < kReportFormatCount; ++f)
      format_->addItem(qt(std::to_string(f + 1) + "  " + std::string(reportFormatInfo(f).comboText)),
                       QString::number(f + 1));
    form->addRow("报告格式：", format_);
    instrument_ = new QComboBox(this);
    instrument_->setObjectName("instrument");
    if (auto all = reg.instruments()) {
      for (const Instrument& i : all.value()) {
        if (!i.active) continue;
        const Calibration c = calibrationOn(i, today());
        instrument_->addItem(qt(i.serial + "  " + i.name + "（有效期至 " + isoDate(i.due) +
                                (c == Calibration::Lapsed    ? "，已过期"
                                 : c == Calibration::DueSoon ? "，即将到期"
                                                             : "") +
                                "）"),
                             qt(i.serial));
      }
    }
    form->addRow("仪器：", instrument_);
  }
  if (step_ == "批准") {
    folder_ = new QLineEdit(folder, this);
    folder_->setObjectName("folder");
    auto* row = new QHBoxLayout;
    row->addWidget(folder_);
    auto* browse = new QPushButton("浏览...", this);
    connect(browse, &QPushButton::clicked, this, [this] {
      if (auto chosen = Dialogs::folder(this, "报告写到哪个文件夹")) folder_->setText(*chosen);
    });
    row->addWidget(browse);
    form->addRow("写到：", row);
    number_ = new QLineEdit(this);
    number_->setObjectName("number");
    number_->setPlaceholderText("空：按编号规则取号");
    form->addRow("报告编号：", number_);
    // The anti-counterfeit code: the signing key's passphrase, or the platform's code text.
    auto coding = reg.codeSettings();
    auto keys = reg.officeKeys();
    if (coding && coding->mode == CodeMode::Signed && keys && !keys->empty()) {
      passphrase_ = pinEdit(this, "passphrase");
      form->addRow("签名密钥口令：", passphrase_);
    }
    if (coding && coding->mode == CodeMode::Platform) {
      platformCode_ = new QLineEdit(this);
      platformCode_->setObjectName("platformCode");
      form->addRow("平台校验码：", platformCode_);
    }
  }
  forceExpired_ = new QCheckBox("确认使用已过校准有效期的仪器（记入台账）", this);
  forceExpired_->setObjectName("forceExpired");
  if (step_ != "审核") form->addRow(forceExpired_);  // the instrument is checked at 起草 and 批准
  forceExpired_->setVisible(step_ != "审核");
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(qt(std::string(step_)));
  buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  buttons->button(QDialogButtonBox::Ok)->setEnabled(person_->count() > 0);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  if (person_->count() == 0)
    layout->addWidget(new QLabel(
        qt("台账中没有负责“" + std::string(step_) + "”的人员：请在 工具 → 台账设置 中添加"), this));
}

IssueRequest IssueDialog::request() const {
  IssueRequest r;
  r.person = person_->currentText().toStdString();
  r.pin = pin_->text().toStdString();
  if (format_ != nullptr) r.format = format_->currentData().toString().toStdString();
  if (instrument_ != nullptr) r.instrument = instrument_->currentData().toString().toStdString();
  if (folder_ != nullptr) r.outputFolder = pathFromQt(folder_->text());
  if (number_ != nullptr) r.externalNumber = text(number_);
  if (passphrase_ != nullptr)
    r.passphrase = [typed = passphrase_->text().toStdString()] { return Result<std::string>(typed); };
  if (platformCode_ != nullptr) r.platformCode = text(platformCode_);
  r.forceExpired = forceExpired_->isChecked();
  return r;
}

LedgerDialog::LedgerDialog(Register& reg, QWidget* parent) : QDialog(parent), reg_(reg) {
  setWindowTitle("报告台账");
  setObjectName("ledgerDialog");
  auto* layout = new QVBoxLayout(this);
  auto* filters = new QHBoxLayout;
  search_ = new QLineEdit(this);
  search_->setObjectName("search");
  search_->setPlaceholderText("编号、工程或委托单位");
  from_ = dayEdit(this, "from", true);
  to_ = dayEdit(this, "to", true);
  verdict_ = new QComboBox(this);
  verdict_->setObjectName("verdict");
  verdict_->addItems({"全部结论", "合格", "不合格"});
  state_ = new QComboBox(this);
  state_->setObjectName("state");
  state_->addItems({"全部状态", "已签发", "已被代替", "已作废"});
  filters->addWidget(new QLabel("查找：", this));
  filters->addWidget(search_, 2);
  filters->addWidget(new QLabel("签发日期", this));
  filters->addWidget(from_);
  filters->addWidget(new QLabel("至", this));
  filters->addWidget(to_);
  filters->addWidget(verdict_);
  filters->addWidget(state_);
  layout->addLayout(filters);
  tabs_ = new QTabWidget(this);
  for (const char* name : {"报告", "不合格台账", "待审核/待批准", "仪器", "人员"})
    tabs_->addTab(newTable(tabs_, name), name);
  layout->addWidget(tabs_);
  auto* buttons = new QHBoxLayout;
  auto button = [&](const char* label, const char* name, auto act) {
    auto* b = new QPushButton(label, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, act);
    buttons->addWidget(b);
  };
  button("打开文件", "openFiles", [this] { openChosen(); });
  button("作废...", "voidReport", [this] { voidChosen(); });
  buttons->addStretch();
  button("导出 Excel...", "exportXlsx", [this] { exportTab(true); });
  button("导出 CSV...", "exportCsv", [this] { exportTab(false); });
  button("关闭", "closeButton", [this] { accept(); });
  layout->addLayout(buttons);
  for (QLineEdit* e : {search_}) connect(e, &QLineEdit::textChanged, this, &LedgerDialog::refresh);
  for (QDateEdit* e : {from_, to_}) connect(e, &QDateEdit::dateChanged, this, &LedgerDialog::refresh);
  for (QComboBox* c : {verdict_, state_})
    connect(c, qOverload<int>(&QComboBox::currentIndexChanged), this, &LedgerDialog::refresh);
  resize(1100, 560);
  refresh();
}

QTableWidget* LedgerDialog::table(int tab) const { return qobject_cast<QTableWidget*>(tabs_->widget(tab)); }

void LedgerDialog::refresh() {
  auto all = reg_.reports();
  auto devices = instrumentsTable(reg_, today());
  auto staff = peopleTable(reg_);
  if (!all || !devices || !staff) {
    Dialogs::message(this, MessageKind::Error,
                     qt(!all       ? all.message()
                        : !devices ? devices.message()
                                   : staff.message()));
    return;
  }
  ReportFilter filter;
  filter.text = text(search_);
  filter.from = dayOf(from_);
  filter.to = dayOf(to_);
  if (verdict_->currentIndex() > 0) filter.verdict = verdict_->currentText().toStdString();
  static constexpr ReportState kStates[] = {ReportState::Issued, ReportState::Superseded, ReportState::Void};
  if (state_->currentIndex() > 0) filter.state = kStates[state_->currentIndex() - 1];
  shown_.clear();
  std::vector<ReportRecord> failing, pending;
  for (const ReportRecord& r : all.value()) {
    if (r.state == ReportState::Drafted || r.state == ReportState::Reviewed) {
      pending.push_back(r);
      continue;
    }
    if (!matches(r, filter)) continue;
    shown_.push_back(r);
    if (r.failing()) failing.push_back(r);
  }
  tables_ = {reportsTable("报告", shown_), reportsTable("不合格台账", failing),
             reportsTable("待审核/待批准", pending), std::move(devices.value()), std::move(staff.value())};
  LedgerTable& waiting = tables_[2];
  waiting.heading.insert(waiting.heading.begin(), "等待");
  for (std::size_t k = 0; k < pending.size(); ++k)
    waiting.rows[k].insert(waiting.rows[k].begin(),
                           pending[k].state == ReportState::Drafted ? "审核" : "批准");
  for (std::size_t t = 0; t < tables_.size(); ++t) fillTable(table(static_cast<int>(t)), tables_[t]);
}

const ReportRecord* LedgerDialog::chosen() const {
  const int row = table(0)->currentRow();
  if (tabs_->currentIndex() != 0 || row < 0 || row >= static_cast<int>(shown_.size())) {
    Dialogs::message(const_cast<LedgerDialog*>(this), MessageKind::Information, "请先在“报告”中选一份报告。");
    return nullptr;
  }
  return &shown_[static_cast<std::size_t>(row)];
}

void LedgerDialog::openChosen() {
  const ReportRecord* r = chosen();
  if (r == nullptr) return;
  for (const ReportFileRecord& f : r->files) {
    const QString path = qtPath(pathFromUtf8(r->folder) / pathFromUtf8(f.name));
    if (!Dialogs::openFile(path)) Dialogs::message(this, MessageKind::Warning, "无法打开“" + path + "”。");
  }
}

void LedgerDialog::voidChosen() {
  const ReportRecord* r = chosen();
  if (r == nullptr) return;
  Form form(this, qt("作废 " + r->number + " 第 " + std::to_string(r->revision) + " 版"), "voidDialog");
  auto* who = new QComboBox(&form.dialog);
  who->setObjectName("person");
  if (auto people = reg_.people()) {
    for (const Person& p : people.value()) {
      if (p.active && p.has(Role::Approver)) who->addItem(qt(p.name));
    }
  }
  auto* pin = pinEdit(&form.dialog, "pin");
  auto* reason = new QLineEdit(&form.dialog);
  reason->setObjectName("reason");
  form.rows->addRow("批准人：", who);
  form.rows->addRow("个人密码：", pin);
  form.rows->addRow("作废原因：", reason);
  if (form.dialog.exec() != QDialog::Accepted) return;
  const std::string name = who->currentText().toStdString();
  auto person = reg_.signIn(name, pin->text().toStdString());
  Status s = !person                        ? Status(person.error())
             : !person->has(Role::Approver) ? Status(Error{"“" + name + "”没有批准职责，不能作废报告"})
                                            : reg_.voidReport(r->number, r->revision, text(reason), name);
  if (!s) {
    Dialogs::message(this, MessageKind::Error, qt(s.message()));
    return;
  }
  refresh();
}

void LedgerDialog::exportTab(bool xlsx) {
  const LedgerTable& ledger = tables_[static_cast<std::size_t>(tabs_->currentIndex())];
  auto path = Dialogs::savePath(this, {xlsx ? "Excel 工作簿(*.xlsx)|*.xlsx|" : "CSV 文件(*.csv)|*.csv|",
                                       xlsx ? "xlsx" : "csv", ledger.name + (xlsx ? ".xlsx" : ".csv")});
  if (!path) return;
  const std::filesystem::path file = pathFromQt(*path);
  Status s = xlsx ? exportLedgersToXlsx({ledger}, file) : writeFileAtomically(file, ledgerCsv(ledger));
  if (!s) Dialogs::message(this, MessageKind::Error, qt(s.message()));
}

RegisterSettingsDialog::RegisterSettingsDialog(Register& reg, const QString& location, QWidget* parent)
    : QDialog(parent), reg_(reg) {
  setWindowTitle("台账设置");
  setObjectName("registerSettingsDialog");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  pattern_ = new QLineEdit(this);
  pattern_->setObjectName("pattern");
  revisionRule_ = new QComboBox(this);
  revisionRule_->setObjectName("revisionRule");
  revisionRule_->addItems({"同一编号的下一版", "新编号"});
  if (auto rules = reg.numbering()) {
    pattern_->setText(qt(rules->pattern));
    revisionRule_->setCurrentIndex(rules->newNumberForRevision ? 1 : 0);
  }
  form->addRow("编号规则：", pattern_);
  form->addRow("修改后重新签发：", revisionRule_);
  codeMode_ = new QComboBox(this);
  codeMode_->setObjectName("codeMode");
  codeMode_->addItems({"本单位签名的校验码", "不印校验码", "印平台给出的校验码"});
  codeAddress_ = new QLineEdit(this);
  codeAddress_->setObjectName("codeAddress");
  codeAddress_->setPlaceholderText("空：二维码中只有校验码");
  if (auto coding = reg.codeSettings()) {
    codeMode_->setCurrentIndex(static_cast<int>(coding->mode));
    codeAddress_->setText(qt(coding->address));
  }
  form->addRow("防伪校验码：", codeMode_);
  form->addRow("验证网址：", codeAddress_);
  location_ = new QLineEdit(location, this);
  location_->setObjectName("location");
  form->addRow("台账文件：", location_);
  layout->addLayout(form);
  // The office's signing keys: made by an approver with their PIN, sealed by a passphrase.
  keys_ = new QLabel(this);
  keys_->setObjectName("keys");
  keys_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* keyRow = new QHBoxLayout;
  keyRow->addWidget(keys_, 1);
  auto* newKey = new QPushButton("新建签名密钥...", this);
  newKey->setObjectName("newKey");
  keyRow->addWidget(newKey);
  auto* exportKeys = new QPushButton("导出公钥...", this);
  exportKeys->setObjectName("exportKeys");
  keyRow->addWidget(exportKeys);
  layout->addLayout(keyRow);
  connect(newKey, &QPushButton::clicked, this, [this] {
    Form f(this, "新建签名密钥", "keyDialog");
    auto* approver = new QComboBox(&f.dialog);
    approver->setObjectName("approver");
    if (auto people = reg_.people()) {
      for (const Person& p : people.value()) {
        if (p.active && p.has(Role::Approver)) approver->addItem(qt(p.name));
      }
    }
    auto* pin = pinEdit(&f.dialog, "pin");
    auto* office = new QLineEdit(&f.dialog);
    office->setObjectName("office");
    auto* passphrase = pinEdit(&f.dialog, "passphrase");
    auto* again = pinEdit(&f.dialog, "passphraseAgain");
    f.rows->addRow("批准人：", approver);
    f.rows->addRow("个人密码：", pin);
    f.rows->addRow("单位名称：", office);
    f.rows->addRow("密钥口令：", passphrase);
    f.rows->addRow("再输一次：", again);
    if (f.dialog.exec() != QDialog::Accepted) return;
    auto who = reg_.signIn(approver->currentText().toStdString(), pin->text().toStdString());
    Status s = !who                        ? Status(who.error())
               : !who->has(Role::Approver) ? Status(Error{"只有批准人可以新建签名密钥"})
               : passphrase->text() != again->text() ? Status(Error{"两次输入的口令不同，没有新建密钥。"})
                                                     : Status();
    if (s) {
      auto key =
          reg_.newOfficeKey(text(office), passphrase->text().toStdString(), today(), std::nullopt, who->name);
      if (!key) s = key.error();
    }
    if (!s) Dialogs::message(this, MessageKind::Error, qt(s.message()));
    refresh();
  });
  connect(exportKeys, &QPushButton::clicked, this, [this] {
    auto keys = reg_.officeKeys();
    if (!keys || keys->empty()) return;
    auto file = Dialogs::savePath(this, {"文本文件(*.txt)|*.txt|", "txt", "公钥.txt"});
    if (!file) return;
    if (Status s = writeFileAtomically(pathFromQt(*file), publicKeysText(keys.value())); !s)
      Dialogs::message(this, MessageKind::Error, qt(s.message()));
  });

  auto group = [&](const char* title, QTableWidget*& table, const char* name) {
    layout->addWidget(new QLabel(title, this));
    table = newTable(this, name);
    layout->addWidget(table);
    auto* row = new QHBoxLayout;
    layout->addLayout(row);
    return row;
  };
  QHBoxLayout* peopleButtons = group("人员：", people_, "people");
  auto add = [this](QHBoxLayout* row, const char* label, const char* name, auto act) {
    auto* b = new QPushButton(label, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, act);
    row->addWidget(b);
  };
  add(peopleButtons, "添加人员...", "addPerson", [this] {
    Form f(this, "添加人员", "personDialog");
    auto* name = new QLineEdit(&f.dialog);
    name->setObjectName("name");
    f.rows->addRow("姓名：", name);
    std::vector<std::pair<QCheckBox*, Role>> roles;
    for (Role r : {Role::Tester, Role::Reviewer, Role::Approver}) {
      auto* box = new QCheckBox(qt(roleName(r)), &f.dialog);
      box->setObjectName(qt(roleName(r)));
      roles.emplace_back(box, r);
      f.rows->addRow(box);
    }
    auto* pin = pinEdit(&f.dialog, "pin");
    auto* again = pinEdit(&f.dialog, "pinAgain");
    f.rows->addRow("个人密码：", pin);
    f.rows->addRow("再输一次：", again);
    if (f.dialog.exec() != QDialog::Accepted) return;
    if (pin->text() != again->text()) {
      Dialogs::message(this, MessageKind::Warning, "两次输入的个人密码不同，没有添加。");
      return;
    }
    std::vector<Role> chosen;
    for (const auto& [box, role] : roles) {
      if (box->isChecked()) chosen.push_back(role);
    }
    if (Status s = reg_.addPerson(text(name), chosen, pin->text().toStdString()); !s)
      Dialogs::message(this, MessageKind::Error, qt(s.message()));
    refresh();
  });
  add(peopleButtons, "停用", "retirePerson", [this] {
    const int row = people_->currentRow();
    if (row < 0) return;
    if (Status s = reg_.retirePerson(people_->item(row, 0)->text().toStdString()); !s)
      Dialogs::message(this, MessageKind::Error, qt(s.message()));
    refresh();
  });
  add(peopleButtons, "更改个人密码...", "changePin", [this] {
    const int row = people_->currentRow();
    if (row < 0) return;
    const std::string name = people_->item(row, 0)->text().toStdString();
    Form f(this, qt("更改 " + name + " 的个人密码"), "pinDialog");
    auto* old = pinEdit(&f.dialog, "oldPin");
    auto* fresh = pinEdit(&f.dialog, "newPin");
    auto* again = pinEdit(&f.dialog, "pinAgain");
    f.rows->addRow("原密码：", old);
    f.rows->addRow("新密码：", fresh);
    f.rows->addRow("再输一次：", again);
    if (f.dialog.exec() != QDialog::Accepted) return;
    Status s = fresh->text() != again->text()
                   ? Status(Error{"两次输入的新密码不同，没有更改。"})
                   : reg_.changePin(name, old->text().toStdString(), fresh->text().toStdString());
    if (!s) Dialogs::message(this, MessageKind::Error, qt(s.message()));
  });
  peopleButtons->addStretch();
  QHBoxLayout* instrumentButtons = group("仪器：", instruments_, "instruments");
  add(instrumentButtons, "添加仪器...", "addInstrument", [this] {
    Form f(this, "添加仪器", "instrumentDialog");
    QLineEdit* fields[3];
    const char* labels[] = {"名称：", "出厂编号：", "校准证书编号："};
    const char* names[] = {"name", "serial", "certificate"};
    for (int k = 0; k < 3; ++k) {
      fields[k] = new QLineEdit(&f.dialog);
      fields[k]->setObjectName(names[k]);
      f.rows->addRow(labels[k], fields[k]);
    }
    auto* calibrated = dayEdit(&f.dialog, "calibrated", false);
    auto* due = dayEdit(&f.dialog, "due", false);
    due->setDate(QDate::currentDate().addYears(1));
    f.rows->addRow("校准日期：", calibrated);
    f.rows->addRow("有效期至：", due);
    if (f.dialog.exec() != QDialog::Accepted) return;
    auto day = [](const QDateEdit* e) {
      return CalendarDate{e->date().year(), e->date().month(), e->date().day()};
    };
    if (Status s = reg_.addInstrument(
            {text(fields[0]), text(fields[1]), text(fields[2]), day(calibrated), day(due), true});
        !s)
      Dialogs::message(this, MessageKind::Error, qt(s.message()));
    refresh();
  });
  add(instrumentButtons, "停用", "retireInstrument", [this] {
    const int row = instruments_->currentRow();
    if (row < 0) return;
    if (Status s = reg_.retireInstrument(instruments_->item(row, 1)->text().toStdString()); !s)
      Dialogs::message(this, MessageKind::Error, qt(s.message()));
    refresh();
  });
  instrumentButtons->addStretch();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    NumberingRules rules{text(pattern_), revisionRule_->currentIndex() == 1};
    const CodeSettings coding{static_cast<CodeMode>(codeMode_->currentIndex()), text(codeAddress_)};
    Status s = reg_.setNumbering(rules);
    if (s) s = reg_.setCodeSettings(coding);
    if (!s) {
      Dialogs::message(this, MessageKind::Error, qt(s.message()));
      return;
    }
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(760, 620);
  refresh();
}

QString RegisterSettingsDialog::location() const { return location_->text().trimmed(); }

void RegisterSettingsDialog::refresh() {
  auto staff = peopleTable(reg_);
  auto devices = instrumentsTable(reg_, today());
  if (!staff || !devices) {
    Dialogs::message(this, MessageKind::Error, qt(!staff ? staff.message() : devices.message()));
    return;
  }
  fillTable(people_, staff.value());
  fillTable(instruments_, devices.value());
  std::string keys = "签名密钥：";
  if (auto all = reg_.officeKeys(); all && !all->empty()) {
    for (const OfficeKey& k : all.value())
      keys += "\n" + k.id + "  指纹 " + fingerprintOf(k.publicKey) + "  " + k.office + "  自 " +
              isoDate(k.validFrom) + (k.revoked ? "，已于 " + isoDate(*k.revoked) + " 吊销" : "");
  } else {
    keys += "还没有（签发的报告不带防伪校验码）";
  }
  keys_->setText(qt(keys));
}

}  // namespace kro::gui
