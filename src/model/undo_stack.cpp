// Undo history.
#include "model/undo_stack.h"

namespace kro {

CommandEffect UndoStack::push(std::unique_ptr<Command> command, Project& project) {
  const CommandEffect effect = command->redo(project);
  record(std::move(command));
  return effect;
}

bool UndoStack::record(std::unique_ptr<Command> command) {
  const bool merged =
      mergeable_ && canUndo() && !canRedo() && saved_ != index_ && commands_.back()->mergeWith(*command);
  if (!merged) {
    commands_.resize(index_);
    if (saved_ && *saved_ > index_) saved_.reset();
    commands_.push_back(std::move(command));
    ++index_;
  }
  mergeable_ = true;
  return merged;
}

std::string UndoStack::undoName() const { return canUndo() ? commands_[index_ - 1]->name() : std::string(); }

std::string UndoStack::redoName() const { return canRedo() ? commands_[index_]->name() : std::string(); }

std::optional<CommandEffect> UndoStack::undo(Project& project) {
  if (!canUndo()) return std::nullopt;
  mergeable_ = false;
  return commands_[--index_]->undo(project);
}

std::optional<CommandEffect> UndoStack::redo(Project& project) {
  if (!canRedo()) return std::nullopt;
  mergeable_ = false;
  return commands_[index_++]->redo(project);
}

void UndoStack::clear() {
  commands_.clear();
  index_ = 0;
  saved_ = 0;
  mergeable_ = false;
}

void UndoStack::markSaved() {
  saved_ = index_;
  mergeable_ = false;
}

}  // namespace kro
