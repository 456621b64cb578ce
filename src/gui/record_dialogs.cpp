// The reason dialog and the modification log's list.
#include "gui/record_dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "gui/dialogs.h"
#include "model/gbk_text.h"
#include "model/record_replay.h"

namespace kro::gui {

std::optional<std::string> askChangeReason(QWidget* parent, const ChangeRequest& request, QString& name) {
  QDialog dialog(parent);
  dialog.setObjectName("changeReasonDialog");
  dialog.setWindowTitle("修改原因");
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QLabel(
      qt("“" + request.what + "”" + (request.reasonRequired ? "改动仪器传输的测点，需要填写原因；" : "") +
         "它将记入修改记录（谁、何时、为何）。"),
      &dialog);
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* form = new QFormLayout;
  auto* who = new QLineEdit(name, &dialog);
  who->setObjectName("recorderName");
  auto* why = new QComboBox(&dialog);
  why->setObjectName("reason");
  why->setEditable(true);
  for (const std::string& used : request.reasonsUsed) why->addItem(qt(used));
  why->setCurrentText(QString());
  form->addRow("修改人：", who);
  form->addRow("原因：", why);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText("确定");
  buttons->button(QDialogButtonBox::Cancel)->setText("取消");
  layout->addWidget(buttons);
  auto update = [&] {
    const bool complete = !who->text().trimmed().isEmpty() &&
                          (!request.reasonRequired || !why->currentText().trimmed().isEmpty());
    buttons->button(QDialogButtonBox::Ok)->setEnabled(complete);
  };
  QObject::connect(who, &QLineEdit::textChanged, &dialog, update);
  QObject::connect(why, &QComboBox::currentTextChanged, &dialog, update);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  update();
  (name.isEmpty() ? static_cast<QWidget*>(who) : why)->setFocus();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  name = who->text().trimmed();
  return why->currentText().trimmed().toStdString();
}

ModificationLogDialog::ModificationLogDialog(CKroAnalyzeDoc& doc, QWidget* parent)
    : QDialog(parent), doc_(doc) {
  setObjectName("modificationLogDialog");
  setWindowTitle("修改记录");
  resize(900, 480);
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(new QLabel("构件：", this));
  filter_ = new QComboBox(this);
  filter_->setObjectName("memberFilter");
  filterRow->addWidget(filter_, 1);
  layout->addLayout(filterRow);
  table_ = new QTableWidget(this);
  table_->setObjectName("logTable");
  const QStringList headings{"序号", "时间", "修改人", "构件", "测点", "项目", "原值", "新值", "原因"};
  table_->setColumnCount(static_cast<int>(headings.size()));
  table_->setHorizontalHeaderLabels(headings);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText("关闭");
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(filter_, &QComboBox::currentIndexChanged, this, [this] { showEntries(); });
  // Double-clicking an entry shows its member and reading.
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    const auto at = table_->item(row, 0)->data(Qt::UserRole).toULongLong();
    const LogChange& c = entries_[at].change;
    if (c.member < 0 || doc_.memberAt(c.member) == nullptr || doc_.memberAt(c.member)->code() != c.code)
      return;
    doc_.selectMember(c.member);
    if (c.reading >= 0) doc_.setCurrentReading(c.reading, true, true);
  });
  refresh();
}

void ModificationLogDialog::refresh() {
  saved_ = doc_.project().log.size();
  entries_ = doc_.recordedLog();
  const QString chosen = filter_->currentText();
  QStringList codes;
  for (const LogEntry& e : entries_) {
    const QString code = qt(gbkToUtf8(e.change.code));
    if (!code.isEmpty() && e.change.kind != LogKind::Ticks && !codes.contains(code)) codes << code;
  }
  const QSignalBlocker quiet(filter_);
  filter_->clear();
  filter_->addItem("全部构件");
  filter_->addItems(codes);
  filter_->setCurrentText(chosen.isEmpty() ? "全部构件" : chosen);
  QString text =
      entries_.empty()
          ? QString("还没有修改记录：保存后开始记录。")
          : QString("修改记录从 %1 开始，共 %2 条").arg(qt(entries_.front().when)).arg(entries_.size());
  if (entries_.size() > saved_)
    text += QString("（其中 %1 条尚未保存，标有 *）").arg(entries_.size() - saved_);
  if (!entries_.empty()) text += "。双击一条转到它的构件和测点。";
  summary_->setText(text);
  showEntries();
}

void ModificationLogDialog::showEntries() {
  const QString only = filter_->currentIndex() > 0 ? filter_->currentText() : QString();
  table_->setRowCount(0);
  for (std::size_t k = 0; k < entries_.size(); ++k) {
    const EntryTexts t = entryTexts(entries_[k]);
    if (!only.isEmpty() && qt(t.member) != only) continue;
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QString who = qt(t.who.empty() ? t.account + "@" + t.host : t.who);
    const QString cells[] = {QString::number(k + 1) + (k >= saved_ ? " *" : ""),
                             qt(t.when),
                             who,
                             qt(t.member),
                             qt(t.reading),
                             qt(t.field),
                             qt(t.oldValue),
                             qt(t.newValue),
                             qt(t.why)};
    for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c == 0) item->setData(Qt::UserRole, static_cast<qulonglong>(k));
      item->setToolTip(qt(t.account + "@" + t.host + "  SHA-256 " + t.hash));
      table_->setItem(row, c, item);
    }
  }
  table_->resizeColumnsToContents();
}

}  // namespace kro::gui
