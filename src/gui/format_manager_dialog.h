// 报告格式管理: the six built-in report formats and the user's own (a .docx with {{fields}} in
// the configuration folder); 新建 copies the starting template that shows every field, 打开 opens
// a format in the desktop's word processor, 检查 lists what is wrong with its fields.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <filesystem>

#include "settings/program_paths.h"

namespace kro::gui {

class FormatManagerDialog : public QDialog {
  Q_OBJECT

 public:
  // startingTemplate: the template a new format is made from.
  FormatManagerDialog(SettingsLocation settings, std::filesystem::path startingTemplate,
                      QWidget* parent = nullptr);

  QListWidget* list() const { return list_; }
  // The actions of the buttons, for the window's tests as for the user.
  bool makeNew();
  void openChosen();
  void checkChosen();

 private:
  void refill(const QString& current = QString());
  // The file of the chosen user format; nothing for a built-in one.
  std::filesystem::path chosenFile() const;

  SettingsLocation settings_;
  std::filesystem::path startingTemplate_;
  QListWidget* list_;
};

}  // namespace kro::gui
