// What the core asks of the window side: messages, questions and file names (Prompter), and,
// for the document, the refreshes after every change (DocumentFrontend).
#pragma once

#include <filesystem>
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

// The document calls these after every change, in this order: the member list (rebuilt, or one
// row), the panel, the grid, the chart, then the state.
class DocumentFrontend : public Prompter {
 public:
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

// A frontend without a window, for a document nobody watches: no refreshes, no messages,
// questions answered "no".
class HeadlessFrontend : public DocumentFrontend {
 public:
  void rebuildMemberList() override {}
  void updateMemberRow(int) override {}
  void showMember(const MemberRecord*) override {}
  void refillGrid() override {}
  void redrawChart() override {}
  void showMessage(MessageKind, const std::string&) override {}
  bool askYesNo(const std::string&) override { return false; }
  SaveChoice askSaveDiscardCancel(const std::string&) override { return SaveChoice::Cancel; }
  std::optional<std::filesystem::path> chooseSavePath(const SaveDialogRequest&) override {
    return std::nullopt;
  }
};

}  // namespace kro
