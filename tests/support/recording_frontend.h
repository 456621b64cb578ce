// A DocumentFrontend that records every call and answers questions from queues.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "model/document_frontend.h"
#include "model/member_record.h"

namespace kro::test {

class RecordingFrontend : public DocumentFrontend, public Prompter {
 public:
  // A document operation run to its end as the window runs it, the questions answered from the
  // queues below.
  bool settle(const std::function<DocumentStep(const DocumentAnswers&)>& operation) {
    return askUntilSettled(*this, operation);
  }

  void rebuildMemberList() override { calls.push_back("rebuildMemberList"); }
  void updateMemberRow(int memberIndex) override {
    calls.push_back("updateMemberRow " + std::to_string(memberIndex));
  }
  void showMember(const MemberRecord* member) override {
    calls.push_back(member != nullptr ? "showMember " + member->code() : "showMember none");
  }
  void refillGrid() override { calls.push_back("refillGrid"); }
  void redrawChart() override { calls.push_back("redrawChart"); }
  void stateChanged() override { ++stateChanges; }
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
  int askChoice(const std::string& text, const std::vector<std::string>&) override {
    questions.push_back(text);
    const int answer = choiceAnswers.empty() ? -1 : choiceAnswers.front();
    if (!choiceAnswers.empty()) choiceAnswers.pop_front();
    return answer;
  }
  std::optional<std::filesystem::path> chooseSavePath(const SaveDialogRequest& wanted) override {
    dialogs.push_back(wanted);
    std::optional<std::filesystem::path> answer;
    if (!pathAnswers.empty()) {
      answer = pathAnswers.front();
      pathAnswers.pop_front();
    }
    return answer;
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
  std::vector<SaveDialogRequest> dialogs;
  int stateChanges = 0;

  std::deque<bool> yesNoAnswers;
  std::deque<SaveChoice> saveAnswers;
  std::deque<int> choiceAnswers;
  std::deque<std::optional<std::filesystem::path>> pathAnswers;
};

}  // namespace kro::test
