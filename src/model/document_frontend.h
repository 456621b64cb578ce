// What the document asks of the window side: refreshes, messages, questions and file names.
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
struct SaveDialogSpec {
  std::string filter;
  std::string defaultExtension;
  std::string proposedName;
};

class DocumentFrontend {
 public:
  virtual ~DocumentFrontend() = default;

  // The reading grid refills itself from the current member.
  virtual void refillGrid() = 0;
  // The thickness chart redraws itself.
  virtual void redrawChart() = 0;
  // The member list is rebuilt from the members, with the current member's row selected, and
  // the totals boxes take the document's totals.
  virtual void rebuildMemberList() = 0;
  // The member panel shows this member's figures (none: every field blank).
  virtual void showMember(const MemberRecord* member) = 0;
  // The member list's reading-count cell of one row is brought up to date.
  virtual void updateCountCell(int memberIndex) = 0;
  // The title (file name, modified mark) may have changed.
  virtual void titleChanged() {}

  virtual void showMessage(MessageKind kind, const std::string& text) = 0;
  virtual bool askYesNo(const std::string& text) = 0;
  virtual SaveChoice askSaveDiscardCancel(const std::string& text) = 0;
  // Runs a save dialog (which asks before overwriting); nothing when the user cancels.
  virtual std::optional<std::filesystem::path> chooseSavePath(const SaveDialogSpec& wanted) = 0;
  // The check state of a member list row; nothing when the list has no such row.
  virtual std::optional<bool> isMemberChecked(int row) = 0;
};

// A frontend without a window: no refreshes, no check marks, questions answered "no", messages
// kept for the caller.
class HeadlessFrontend : public DocumentFrontend {
 public:
  void refillGrid() override {}
  void redrawChart() override {}
  void rebuildMemberList() override {}
  void showMember(const MemberRecord*) override {}
  void updateCountCell(int) override {}
  void showMessage(MessageKind kind, const std::string& text) override;
  bool askYesNo(const std::string&) override { return false; }
  SaveChoice askSaveDiscardCancel(const std::string&) override { return SaveChoice::Cancel; }
  std::optional<std::filesystem::path> chooseSavePath(const SaveDialogSpec&) override { return std::nullopt; }
  std::optional<bool> isMemberChecked(int) override { return std::nullopt; }

  struct Message {
    MessageKind kind;
    std::string text;
  };
  const std::vector<Message>& messages() const { return messages_; }

 private:
  std::vector<Message> messages_;
};

}  // namespace kro
