// The findings dialog.
#include "gui/check_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialogs.h"

namespace kro::gui {

namespace {

constexpr int kMemberRole = Qt::UserRole;

}  // namespace

CheckDialog::CheckDialog(Purpose purpose, QWidget* parent)
    : QDialog(parent),
      purpose_(purpose),
      summary_(new QLabel(this)),
      notes_(new QLabel(this)),
      list_(new QListWidget(this)) {
  setWindowTitle(purpose == Purpose::Review ? "检查" : "交付前检查");
  setObjectName("checkDialog");
  list_->setObjectName("findingList");
  list_->setWordWrap(true);
  list_->setToolTip("双击一项，转到它所说的构件");
  auto* buttons = new QDialogButtonBox(this);
  if (purpose == Purpose::Review) {
    QPushButton* recheck = buttons->addButton("重新检查", QDialogButtonBox::ActionRole);
    connect(recheck, &QPushButton::clicked, this, &CheckDialog::recheckRequested);
    buttons->addButton("关闭", QDialogButtonBox::RejectRole);
  } else {
    buttons->addButton("仍然继续", QDialogButtonBox::AcceptRole);
    buttons->addButton("取消", QDialogButtonBox::RejectRole)->setDefault(true);
  }
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const QVariant member = item->data(kMemberRole);
    if (!member.isValid()) return;
    emit memberChosen(member.toInt());
    if (purpose_ == Purpose::BeforeOutput) reject();
  });
  auto* layout = new QVBoxLayout(this);
  notes_->setObjectName("checkNotes");
  notes_->setWordWrap(true);
  notes_->setVisible(false);
  layout->addWidget(summary_);
  layout->addWidget(notes_);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(560, 320);
}

void CheckDialog::setFindings(const std::vector<Finding>& findings, const std::vector<std::string>& notes) {
  QStringList noteLines;
  for (const std::string& note : notes) noteLines << QString::fromStdString(note);
  notes_->setText(noteLines.join("\n"));
  notes_->setVisible(!notes.empty());
  list_->clear();
  for (const Finding& f : findings) {
    auto* item = new QListWidgetItem(QString::fromStdString(f.message), list_);
    if (f.member >= 0) item->setData(kMemberRole, f.member);
  }
  if (findings.empty()) {
    summary_->setText("没有发现问题。");
  } else if (purpose_ == Purpose::Review) {
    summary_->setText(QString("发现 %1 个问题。双击一项，转到它所说的构件。").arg(findings.size()));
  } else {
    summary_->setText(QString("发现 %1 个问题。仍要继续吗？").arg(findings.size()));
  }
}

bool CheckDialog::confirm(QWidget* parent, const std::vector<Finding>& findings,
                          const std::function<void(int)>& choose) {
  if (findings.empty()) return true;
  if (Dialogs::inTestMode()) {
    QString text = QString("发现 %1 个问题：").arg(findings.size());
    for (const Finding& f : findings) text += "\n" + QString::fromStdString(f.message);
    return Dialogs::askYesNo(parent, text + "\n仍要继续吗？");
  }
  CheckDialog dialog(Purpose::BeforeOutput, parent);
  dialog.setFindings(findings);
  connect(&dialog, &CheckDialog::memberChosen, parent, choose);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace kro::gui
