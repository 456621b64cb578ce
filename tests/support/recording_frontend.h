// A DocumentFrontend that records every call, answers questions from queues, and holds the
// member list's check marks.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "model/document_frontend.h"
#include "model/member_record.h"

namespace kro::test {

class RecordingFrontend : public DocumentFrontend {
 public:
  void refillGrid() override { calls.push_back("refillGrid"); }
  void redrawChart() override { calls.push_back("redrawChart"); }
  void rebuildMemberList() override { calls.push_back("rebuildMemberList"); }
  void showMember(const MemberRecord* member) override {
    calls.push_back(member != nullptr ? "showMember " + member->code() : "showMember none");
  }
  void updateCountCell(int memberIndex) override {
    calls.push_back("updateCountCell " + std::to_string(memberIndex));
  }
  void titleChanged() override { ++titleChanges; }
  void showMessage(MessageKind kind, const std::string& text) override { messages.push_back({kind, text}); }
  bool askYesNo(const std::string& text) override {
    questions.push_back(text);
    bool answer = yesNoAnswers.empty() ? false : yesNoAnswers.front();
    if (!yesNoAnswers.empty()) yesNoAnswers.pop_front();
    return answer;
  }
  SaveChoice askSaveDiscardCancel(const std::string& text) override {
    questions.push_back(text);
    SaveChoice answer = saveAnswers.empty() ? SaveChoice::Cancel : saveAnswers.front();
    if (!saveAnswers.empty()) saveAnswers.pop_front();
    return answer;
  }
  std::optional<std::filesystem::path> chooseSavePath(const SaveDialogSpec& wanted) override {
    dialogs.push_back(wanted);
    std::optional<std::filesystem::path> answer;
    if (!pathAnswers.empty()) {
      answer = pathAnswers.front();
      pathAnswers.pop_front();
    }
    return answer;
  }
  std::optional<bool> isMemberChecked(int row) override {
    auto it = checks.find(row);
    if (it == checks.end()) return std::nullopt;
    return it->second;
  }

  void clear() {
    calls.clear();
    messages.clear();
    questions.clear();
    dialogs.clear();
  }

  struct Message {
    MessageKind kind;
    std::string text;
  };

  std::vector<std::string> calls;
  std::vector<Message> messages;
  std::vector<std::string> questions;
  std::vector<SaveDialogSpec> dialogs;
  int titleChanges = 0;

  std::deque<bool> yesNoAnswers;
  std::deque<SaveChoice> saveAnswers;
  std::deque<std::optional<std::filesystem::path>> pathAnswers;
  std::map<int, bool> checks;
};

}  // namespace kro::test
