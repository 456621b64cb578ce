// Asking the document's questions through a Prompter until the operation settles.
#include "model/document_frontend.h"

namespace kro {

bool askUntilSettled(Prompter& ui, const std::function<DocumentStep(const DocumentAnswers&)>& operation) {
  DocumentAnswers answers;
  // Each answer moves the operation past one question; more than these is a fault of its own.
  for (int asked = 0; asked < 8; ++asked) {
    const DocumentStep step = operation(answers);
    if (step.notice) ui.showMessage(step.notice->kind, step.notice->text);
    switch (step.question) {
      case DocumentQuestion::None:
        return step.done;
      case DocumentQuestion::OpenRecovered:
        answers.openRecovered = ui.askYesNo(step.text);
        if (!*answers.openRecovered) return false;
        break;
      case DocumentQuestion::OpenLocked:
        answers.lockChoice = ui.askChoice(step.text, step.choices);
        if (*answers.lockChoice < 0) return false;
        break;
      case DocumentQuestion::OverwriteChanged:
        answers.changedChoice = ui.askChoice(step.text, step.choices);
        if (*answers.changedChoice < 0) return false;
        // 另存为...: a name of its own, whatever was chosen before the question.
        if (*answers.changedChoice == 1) answers.savePath.reset();
        break;
      case DocumentQuestion::SavePath:
        answers.savePath = ui.chooseSavePath(step.dialog);
        if (!answers.savePath) return false;
        break;
      case DocumentQuestion::SaveModified:
        answers.saveModified = ui.askSaveDiscardCancel(step.text);
        if (*answers.saveModified == SaveChoice::Cancel) return false;
        break;
    }
  }
  return false;
}

}  // namespace kro
