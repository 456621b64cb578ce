// The report format manager.
#include "gui/format_manager_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "gui/dialogs.h"
#include "model/file_io.h"
#include "office/docx_template.h"
#include "render/qt_paths.h"
#include "report/report_parameters.h"
#include "report/user_format.h"

namespace kro::gui {

namespace {

constexpr int kFileRole = Qt::UserRole;

}  // namespace

FormatManagerDialog::FormatManagerDialog(SettingsLocation settings, std::filesystem::path startingTemplate,
                                         QWidget* parent)
    : QDialog(parent), settings_(std::move(settings)), startingTemplate_(std::move(startingTemplate)) {
  setObjectName("formatManagerDialog");
  setWindowTitle("报告格式管理");
  list_ = new QListWidget(this);
  list_->setObjectName("formatList");
  list_->setMinimumSize(360, 240);
  auto* folder =
      new QLabel("用户格式保存在 " + qt(displayPath(userFormatFolder(settings_))) +
                     "。格式是一个 Word 文档，其中 {{工程名称}} 这样的字段在生成报告时换成工程的内容；"
                     "新建的格式列出了全部字段。",
                 this);
  folder->setWordWrap(true);
  auto* buttons = new QVBoxLayout;
  auto button = [&](const char* name, const QString& text, const QString& tip, auto slot) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setToolTip(tip);
    connect(b, &QPushButton::clicked, this, slot);
    buttons->addWidget(b);
    return b;
  };
  button("newButton", "新建…", "由列出全部字段的样板新建一个用户格式", [this] { makeNew(); });
  button("openButton", "打开", "在文字处理程序中打开选中的用户格式，修改后保存即可",
         [this] { openChosen(); });
  button("checkButton", "检查", "检查选中格式中的字段", [this] { checkChosen(); });
  button("folderButton", "打开文件夹", "打开用户格式所在的文件夹", [this] {
    const QString path = qtPath(userFormatFolder(settings_));
    QDir().mkpath(path);
    Dialogs::openFile(path);
  });
  buttons->addStretch(1);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close->button(QDialogButtonBox::Close)->setText("关闭");
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* middle = new QHBoxLayout;
  middle->addWidget(list_, 1);
  middle->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(folder);
  layout->addLayout(middle, 1);
  layout->addWidget(close);
  refill();
}

void FormatManagerDialog::refill(const QString& current) {
  list_->clear();
  for (int f = 0; f < kReportFormatCount; ++f) {
    list_->addItem(qt(std::string(reportFormatInfo(f).comboText)) + "（内置）");
  }
  for (const UserFormat& f : userFormats(settings_)) {
    auto* item = new QListWidgetItem(qt(f.name), list_);
    item->setData(kFileRole, qtPath(f.file));
    if (qt(f.name) == current) list_->setCurrentItem(item);
  }
}

std::filesystem::path FormatManagerDialog::chosenFile() const {
  const QListWidgetItem* item = list_->currentItem();
  if (item == nullptr || item->data(kFileRole).toString().isEmpty()) return {};
  return pathFromQt(item->data(kFileRole).toString());
}

bool FormatManagerDialog::makeNew() {
  const std::optional<QString> name = Dialogs::askText(this, "新报告格式的名称：", "我的格式");
  if (!name || name->trimmed().isEmpty()) return false;
  const QString trimmed = name->trimmed();
  // Names any system takes as a file name: none of the characters Windows forbids.
  if (trimmed.contains(QRegularExpression(R"([\\/:*?"<>|])")) || trimmed.startsWith('.')) {
    Dialogs::message(this, MessageKind::Warning,
                     "格式名称中不能有 \\ / : * ? \" < > | 这些字符，也不能以“.”开头。");
    return false;
  }
  const std::filesystem::path folder = userFormatFolder(settings_);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::filesystem::path file = folder / pathFromQt(trimmed + ".docx");
  if (std::filesystem::exists(file, ec)) {
    Dialogs::message(this, MessageKind::Warning, "已有名为“" + trimmed + "”的格式。");
    return false;
  }
  auto bytes = readWholeFile(startingTemplate_, kMaxTemplateFileSize);
  Status written = bytes ? writeFileAtomically(file, bytes.value()) : Status(Error{bytes.message()});
  if (!written) {
    Dialogs::message(this, MessageKind::Error, qt(written.message()));
    return false;
  }
  refill(trimmed);
  openChosen();
  return true;
}

void FormatManagerDialog::openChosen() {
  const std::filesystem::path file = chosenFile();
  if (file.empty()) {
    Dialogs::message(this, MessageKind::Information, "内置格式不能修改；请新建一个用户格式。");
    return;
  }
  if (!Dialogs::openFile(qtPath(file))) {
    Dialogs::message(this, MessageKind::Information,
                     "没有能打开 Word 文档的程序。请用 Word 或 LibreOffice Writer 打开：\n" +
                         QDir::toNativeSeparators(qtPath(file)));
  }
}

void FormatManagerDialog::checkChosen() {
  const std::filesystem::path file = chosenFile();
  if (file.empty()) {
    Dialogs::message(this, MessageKind::Information, "内置格式不需要检查字段。");
    return;
  }
  auto checked = DocxTemplateFiller(fieldCatalog()).check(file);
  if (!checked) {
    Dialogs::message(this, MessageKind::Warning, qt(checked.message()));
    return;
  }
  const TemplateFields& f = checked.value();
  if (f.problems.empty()) {
    Dialogs::message(this, MessageKind::Information,
                     "“" + list_->currentItem()->text() + "”的字段没有问题（" +
                         QString::number(f.memberParts) + " 个构件部分）。");
    return;
  }
  QString text = "“" + list_->currentItem()->text() + "”的字段有问题：";
  for (const std::string& p : f.problems) text += "\n" + qt(p);
  Dialogs::message(this, MessageKind::Warning, text);
}

}  // namespace kro::gui
