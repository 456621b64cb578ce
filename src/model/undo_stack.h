// The undo history of a document: the commands run on it, undone and redone in order, with the
// state last saved so that the modified mark can follow the history.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/commands.h"

namespace kro {

class UndoStack {
 public:
  // Runs command on project and puts it on the stack, dropping whatever could have been redone.
  // Right after a command it merges with (the next keystroke in the same box) it becomes part of
  // that command, except across the saved state or after endMerging.
  CommandEffect push(std::unique_ptr<Command> command, Project& project);
  // The same for a command that has run already; true when it became part of the last command.
  bool record(std::unique_ptr<Command> command);

  bool canUndo() const { return index_ > 0; }
  bool canRedo() const { return index_ < commands_.size(); }
  // Names of the command the next undo or redo would run; empty when there is none.
  std::string undoName() const;
  std::string redoName() const;
  // Nothing (and no change) when there is nothing to undo or redo.
  std::optional<CommandEffect> undo(Project& project);
  std::optional<CommandEffect> redo(Project& project);

  // The next command starts a new step, whatever it is.
  void endMerging() { mergeable_ = false; }

  // A new history whose current state is the saved one.
  void clear();
  // The current state is now the saved one.
  void markSaved();
  // True when the project is as last saved (or as loaded).
  bool isAtSavedState() const { return saved_ == index_; }

  std::size_t size() const { return commands_.size(); }
  std::size_t index() const { return index_; }

 private:
  std::vector<std::unique_ptr<Command>> commands_;
  std::size_t index_ = 0;                 // commands_[0, index_) are done
  std::optional<std::size_t> saved_ = 0;  // nothing: the saved state can no longer be reached
  bool mergeable_ = false;
};

}  // namespace kro
