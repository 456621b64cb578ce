// Between the core and whoever shows it: what the document needs from the user (DocumentStep,
// DocumentAnswers), the refreshes after every change (DocumentFrontend), and the window's and the
// command line's way of asking (Prompter), which only they use.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kro {

class MemberRecord;

enum class MessageKind { Information, Warning, Error };
enum class SaveChoice { Save, Discard, Cancel };

// A save dialog: its filter in the "text|pattern|...|" form, the extension added to a name
// typed without one, and the proposed file name (may be empty).
struct SaveDialogRequest {
  std::string filter;
  std::string defaultExtension;
  std::string proposedName;
};

struct Notice {
  MessageKind kind = MessageKind::Information;
  std::string text;
};

// What the document needs from the user to go on.
enum class DocumentQuestion {
  None,
  OpenRecovered,     // yes or no: open the intact members of a damaged file
  OpenLocked,        // one of choices (another window holds the file), or cancel
  OverwriteChanged,  // one of choices (覆盖, 另存为...): the file changed on the disk, or cancel
  SavePath,          // a save dialog (dialog), or cancel
  SaveModified,      // 保存, 不保存 or 取消
};

// What one call of a document's file operation leaves: done, or a notice saying why not, or the
// question to ask.
struct DocumentStep {
  bool done = false;
  std::optional<Notice> notice;  // shown in any case (warnings of a done step too)
  DocumentQuestion question = DocumentQuestion::None;
  std::string text;                  // the question in the user's words
  std::vector<std::string> choices;  // OpenLocked, OverwriteChanged
  SaveDialogRequest dialog;          // SavePath

  static DocumentStep finished(std::optional<Notice> notice = std::nullopt) {
    DocumentStep step;
    step.done = true;
    step.notice = std::move(notice);
    return step;
  }
  static DocumentStep failed(std::string message) {
    DocumentStep step;
    step.notice = Notice{MessageKind::Error, std::move(message)};
    return step;
  }
  static DocumentStep cancelled() { return {}; }
};

// The answers given so far; an operation called again with them goes on past its questions.
struct DocumentAnswers {
  std::optional<bool> openRecovered;
  std::optional<int> lockChoice;     // index into the choices
  std::optional<int> changedChoice;  // index into the choices; 另存为 (1) asks the save path anew
  std::optional<std::filesystem::path> savePath;
  std::optional<SaveChoice> saveModified;
};

class Prompter {
 public:
  virtual ~Prompter() = default;

  virtual void showMessage(MessageKind kind, const std::string& text) = 0;
  virtual bool askYesNo(const std::string& text) = 0;
  virtual SaveChoice askSaveDiscardCancel(const std::string& text) = 0;
  // Runs a save dialog (which asks before overwriting); nothing when the user cancels.
  virtual std::optional<std::filesystem::path> chooseSavePath(const SaveDialogRequest& wanted) = 0;
  // A question with buttons of these texts and 取消: the index of the button chosen, -1 for
  // 取消. Without anyone to ask, the answer is 取消.
  virtual int askChoice(const std::string& /*text*/, const std::vector<std::string>& /*choices*/) {
    return -1;
  }
};

// Runs a document operation to its end, asking ui each question it returns and calling it
// again with the answers; shows every notice. True when the operation is done.
bool askUntilSettled(Prompter& ui, const std::function<DocumentStep(const DocumentAnswers&)>& operation);

// The document calls these after every change, in this order: the member list (rebuilt, or one
// row), the panel, the grid, the chart, then the state.
class DocumentFrontend {
 public:
  virtual ~DocumentFrontend() = default;
  // The member list is rebuilt from the members (texts and check marks), with the current
  // member's row highlighted.
  virtual void rebuildMemberList() = 0;
  // One row of the member list (texts and check mark) is brought up to date.
  virtual void updateMemberRow(int memberIndex) = 0;
  // The member panel shows this member's figures and the totals (none: every field blank), and
  // the member list highlights the current member's row.
  virtual void showMember(const MemberRecord* member) = 0;
  // The reading grid refills itself from the current member.
  virtual void refillGrid() = 0;
  // The thickness chart redraws itself.
  virtual void redrawChart() = 0;
  // The title, the modified mark or the undo history may have changed.
  virtual void stateChanged() {}
};

}  // namespace kro
