// The undoable commands.
#include "model/commands.h"

#include <algorithm>
#include <set>
#include <type_traits>

#include "model/gbk_text.h"
#include "model/statistics.h"

namespace kro {
namespace {

MemberRecord& memberOf(Project& project, int index) {
  return project.members[static_cast<std::size_t>(index)];
}

// "0003" as UTF-8, for command names.
std::string codeText(const Project& project, int member) {
  const MemberRecord* m = project.memberAt(member);
  return m != nullptr ? gbkToUtf8(m->code()) : std::string();
}

// The statistics part shared by commands that change what a member's figures depend on: the
// stored figures before the change, given back on undo; after the change, recomputed.
class Recomputation {
 public:
  void before(const MemberRecord& m) { stored_ = m.storedStatistics(); }
  static void after(MemberRecord& m) { m.setStoredStatistics(recomputedStatistics(m)); }
  void restore(MemberRecord& m) const { m.setStoredStatistics(stored_); }

 private:
  StoredStatistics stored_;
};

class EditReadings : public Command {
 public:
  struct Edit {
    int index;
    Reading before;
    Reading after;
  };

  EditReadings(int member, std::string name, std::vector<Edit> edits, bool thicknessChanged)
      : member_(member), name_(std::move(name)), edits_(std::move(edits)), recompute_(thicknessChanged) {}

  std::optional<std::vector<int>> changedInPlace() const override { return std::vector<int>{member_}; }
  std::string name() const override { return name_; }

  CommandEffect redo(Project& project) override {
    MemberRecord& m = memberOf(project, member_);
    if (recompute_) stats_.before(m);
    for (const Edit& e : edits_) m.setReading(e.index, e.after);
    if (recompute_) Recomputation::after(m);
    return effect();
  }

  CommandEffect undo(Project& project) override {
    MemberRecord& m = memberOf(project, member_);
    for (auto e = edits_.rbegin(); e != edits_.rend(); ++e) m.setReading(e->index, e->before);
    if (recompute_) stats_.restore(m);
    return effect();
  }

 private:
  CommandEffect effect() const {
    int first = edits_.front().index;
    for (const Edit& e : edits_) first = std::min(first, e.index);
    return {member_, first, false};
  }

  int member_;
  std::string name_;
  std::vector<Edit> edits_;
  bool recompute_;  // an aux value alone changes no figure
  Recomputation stats_;
};

// Inserts or deletes one reading row; each is the other's undo.
class ReadingRow : public Command {
 public:
  ReadingRow(int member, int row, bool insert, Reading reading, std::string name)
      : member_(member), row_(row), insert_(insert), reading_(reading), name_(std::move(name)) {}

  std::optional<std::vector<int>> changedInPlace() const override { return std::vector<int>{member_}; }
  std::string name() const override { return name_; }

  CommandEffect redo(Project& project) override {
    MemberRecord& m = memberOf(project, member_);
    stats_.before(m);
    apply(m, insert_);
    Recomputation::after(m);
    return effect(m, insert_);
  }

  CommandEffect undo(Project& project) override {
    MemberRecord& m = memberOf(project, member_);
    apply(m, !insert_);
    stats_.restore(m);
    return effect(m, !insert_);
  }

 private:
  void apply(MemberRecord& m, bool insert) const {
    if (insert) {
      m.insertReadingBefore(row_, reading_);
    } else {
      m.deleteReading(row_);
    }
  }
  // The row inserted becomes current; after a deletion, the row that took its place.
  CommandEffect effect(const MemberRecord& m, bool inserted) const {
    return {member_, inserted ? row_ : std::max(0, std::min(row_, m.readingCount() - 1)), false};
  }

  int member_;
  int row_;
  bool insert_;
  Reading reading_;  // the deleted reading; a new one is all zero
  std::string name_;
  Recomputation stats_;
};

// Replaces a member's readings with another list (a paste that sets and appends); the old list
// and figures come back on undo.
class ReplaceReadings : public Command {
 public:
  ReplaceReadings(int member, int first, std::vector<Reading> before, std::vector<Reading> after,
                  std::string name)
      : member_(member),
        first_(first),
        before_(std::move(before)),
        after_(std::move(after)),
        name_(std::move(name)) {}
  std::optional<std::vector<int>> changedInPlace() const override { return std::vector<int>{member_}; }
  std::string name() const override { return name_; }
  CommandEffect redo(Project& project) override {
    MemberRecord& m = memberOf(project, member_);
    stats_.before(m);
    m.setReadings(after_);
    Recomputation::after(m);
    return {member_, std::min(first_, std::max(0, m.readingCount() - 1)), false};
  }
  CommandEffect undo(Project& project) override {
    MemberRecord& m = memberOf(project, member_);
    m.setReadings(before_);
    stats_.restore(m);
    return {member_, std::min(first_, std::max(0, m.readingCount() - 1)), false};
  }

 private:
  int member_;
  int first_;
  std::vector<Reading> before_, after_;
  std::string name_;
  Recomputation stats_;
};

const char* fieldName(MemberField field) {
  switch (field) {
    case MemberField::Name:
      return "构件名称";
    case MemberField::TestDate:
      return "测试日期";
    case MemberField::DesignThickness:
      return "设计厚度";
    case MemberField::PlusDeviation:
      return "允许正偏差";
    case MemberField::MinusDeviation:
      return "允许负偏差";
  }
  return "";
}

void setField(MemberRecord& m, MemberField field, const std::string& text) {
  if (field == MemberField::Name) {
    m.setMemberName(text);
  } else {
    m.setTestDate(text);
  }
}

void setField(MemberRecord& m, MemberField field, std::int32_t value) {
  switch (field) {
    case MemberField::DesignThickness:
      m.setDesignThickness(value);
      break;
    case MemberField::PlusDeviation:
      m.setPlusDeviation(value);
      break;
    case MemberField::MinusDeviation:
      m.setMinusDeviation(value);
      break;
    default:
      break;
  }
}

std::int32_t numberOf(const MemberRecord& m, MemberField field) {
  switch (field) {
    case MemberField::DesignThickness:
      return m.designThickness();
    case MemberField::PlusDeviation:
      return m.plusDeviation();
    case MemberField::MinusDeviation:
      return m.minusDeviation();
    default:
      return 0;
  }
}

// One field of the member panel: a text (name, test date) or a number (design thickness, a
// deviation), whose change makes the member's figures recomputed. Consecutive edits of the
// same field of the same member merge, keeping the first old value and its old figures.
template <class T>
class SetMemberField : public Command {
 public:
  static constexpr bool kChangesFigures = std::is_integral_v<T>;

  SetMemberField(int member, MemberField field, T before, T after, std::string code)
      : member_(member),
        field_(field),
        before_(std::move(before)),
        after_(std::move(after)),
        code_(std::move(code)) {}

  std::optional<std::vector<int>> changedInPlace() const override { return std::vector<int>{member_}; }
  std::string name() const override { return "修改 " + code_ + " 的" + fieldName(field_); }

  CommandEffect redo(Project& project) override {
    MemberRecord& m = memberOf(project, member_);
    if constexpr (kChangesFigures) stats_.before(m);
    setField(m, field_, after_);
    if constexpr (kChangesFigures) Recomputation::after(m);
    return effect();
  }

  CommandEffect undo(Project& project) override {
    MemberRecord& m = memberOf(project, member_);
    setField(m, field_, before_);
    if constexpr (kChangesFigures) stats_.restore(m);
    return effect();
  }

  // A number moves the tolerance band: the grid's colours and the chart change too.
  CommandEffect effect() const {
    return {member_, std::nullopt, false,
            kChangesFigures ? CommandEffect::Touched::Everything : CommandEffect::Touched::Text};
  }

  bool mergeWith(const Command& next) override {
    auto* same = dynamic_cast<const SetMemberField*>(&next);
    if (same == nullptr || same->member_ != member_ || same->field_ != field_) return false;
    after_ = same->after_;
    return true;
  }

 private:
  int member_;
  MemberField field_;
  T before_, after_;
  std::string code_;
  Recomputation stats_;
};

// Ticks or unticks members, one step however many: one member becomes current; several leave
// the current one and have their rows updated.
class SetTicks : public Command {
 public:
  struct Change {
    int member;
    std::int32_t before, after;  // the stored flag keeps its byte (a file may hold 2..255)
  };
  SetTicks(std::vector<Change> changes, std::string name)
      : changes_(std::move(changes)), name_(std::move(name)) {}

  std::optional<std::vector<int>> changedInPlace() const override {
    std::vector<int> members;
    for (const Change& c : changes_) members.push_back(c.member);
    return members;
  }
  std::string name() const override { return name_; }
  CommandEffect redo(Project& project) override {
    for (const Change& c : changes_) memberOf(project, c.member).setSelected(c.after);
    return effect();
  }
  CommandEffect undo(Project& project) override {
    for (const Change& c : changes_) memberOf(project, c.member).setSelected(c.before);
    return effect();
  }

 private:
  CommandEffect effect() const {
    if (changes_.size() == 1) return {changes_[0].member, std::nullopt, false, CommandEffect::Touched::Tick};
    std::vector<int> rows;
    for (const Change& c : changes_) rows.push_back(c.member);
    return {std::nullopt, std::nullopt, false, CommandEffect::Touched::Tick, std::move(rows)};
  }

  std::vector<Change> changes_;
  std::string name_;
};

// Appends members at the end; the first of them becomes current.
class AppendMembers : public Command {
 public:
  AppendMembers(std::vector<MemberRecord> members, std::string name, std::optional<ProjectSource> source)
      : members_(std::move(members)), name_(std::move(name)), source_(std::move(source)) {}

  const ProjectSource* source() const override { return source_ ? &*source_ : nullptr; }
  std::string name() const override { return name_; }

  CommandEffect redo(Project& project) override {
    const int first = project.memberCount();
    project.members.insert(project.members.end(), members_.begin(), members_.end());
    // Sources are never taken back: the log may name this one once the members were saved.
    if (source_ &&
        std::find(project.sources.begin(), project.sources.end(), *source_) == project.sources.end())
      project.sources.push_back(*source_);
    return {first, std::nullopt, true};
  }

  CommandEffect undo(Project& project) override {
    project.members.resize(project.members.size() - members_.size());
    return {project.memberCount() - 1, std::nullopt, true};
  }

 private:
  std::vector<MemberRecord> members_;
  std::string name_;
  std::optional<ProjectSource> source_;
};

class DeleteMember : public Command {
 public:
  DeleteMember(int index, MemberRecord member) : index_(index), member_(std::move(member)) {}

  std::string name() const override { return "删除构件 " + gbkToUtf8(member_.code()); }

  CommandEffect redo(Project& project) override {
    project.members.erase(project.members.begin() + index_);
    // The member that followed becomes current; after the last, the one before it.
    return {std::min(index_, project.memberCount() - 1), std::nullopt, true};
  }

  CommandEffect undo(Project& project) override {
    project.members.insert(project.members.begin() + index_, member_);
    return {index_, std::nullopt, true};
  }

 private:
  int index_;
  MemberRecord member_;
};

class BatchEdit : public Command {
 public:
  struct Before {
    int member;
    std::int32_t design, plus, minus;
    std::string testDate;
    StoredStatistics stats;
    std::uint8_t sample = 1;
  };

  BatchEdit(BatchValues values, std::vector<Before> before)
      : values_(std::move(values)), before_(std::move(before)) {}

  std::optional<std::vector<int>> changedInPlace() const override {
    std::vector<int> members;
    for (const Before& b : before_) members.push_back(b.member);
    return members;
  }
  std::string name() const override { return "批量设置构件参数"; }

  CommandEffect redo(Project& project) override {
    const bool band = values_.designThickness || values_.plusDeviation || values_.minusDeviation;
    for (const Before& b : before_) {
      MemberRecord& m = memberOf(project, b.member);
      if (values_.designThickness) m.setDesignThickness(*values_.designThickness);
      if (values_.plusDeviation) m.setPlusDeviation(*values_.plusDeviation);
      if (values_.minusDeviation) m.setMinusDeviation(*values_.minusDeviation);
      if (values_.testDate) m.setTestDate(*values_.testDate);
      if (values_.sample) m.setSample(*values_.sample);
      if (band) Recomputation::after(m);
    }
    return {std::nullopt, std::nullopt, true};
  }

  CommandEffect undo(Project& project) override {
    for (const Before& b : before_) {
      MemberRecord& m = memberOf(project, b.member);
      m.setDesignThickness(b.design);
      m.setPlusDeviation(b.plus);
      m.setMinusDeviation(b.minus);
      m.setTestDate(b.testDate);
      m.setStoredStatistics(b.stats);
      m.setSample(b.sample);
    }
    return {std::nullopt, std::nullopt, true};
  }

 private:
  BatchValues values_;
  std::vector<Before> before_;
};

// Replaces the project's report parameters; the old ones come back on undo.
class SetParameters : public Command {
 public:
  SetParameters(ProjectParameters before, ProjectParameters after)
      : before_(std::move(before)), after_(std::move(after)) {}
  std::optional<std::vector<int>> changedInPlace() const override { return std::vector<int>{}; }
  std::string name() const override { return "设置工程参数"; }
  CommandEffect redo(Project& project) override {
    project.parameters = after_;
    return {};
  }
  CommandEffect undo(Project& project) override {
    project.parameters = before_;
    return {};
  }

 private:
  ProjectParameters before_, after_;
};

}  // namespace

bool Command::mergeWith(const Command&) { return false; }

std::unique_ptr<Command> makeEditReadings(const Project& project, int member,
                                          std::vector<ReadingChange> changes, ReadingEditKind kind) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr) return nullptr;
  std::vector<EditReadings::Edit> edits;
  bool thicknessChanged = false;
  // A reading changed twice in one command keeps its first old value and its last new one.
  MemberRecord working = *m;
  for (const ReadingChange& c : changes) {
    if (!working.validIndex(c.index)) return nullptr;
    const Reading before = working.readings()[static_cast<std::size_t>(c.index)];
    Reading after = before;
    (c.aux ? after.auxValue : after.thickness) = c.value;
    if (before == after) continue;
    thicknessChanged = thicknessChanged || !c.aux;
    edits.push_back({c.index, before, after});
    working.setReading(c.index, after);
  }
  if (edits.empty()) return nullptr;
  const std::string code = codeText(project, member);
  std::string name;
  switch (kind) {
    case ReadingEditKind::Typed:
      name = edits.size() == 1 ? "修改 " + code + " 的测点 " + std::to_string(edits.front().index + 1)
                               : "修改 " + code + " 的 " + std::to_string(edits.size()) + " 个测点";
      break;
    case ReadingEditKind::Paste:
      name = "粘贴 " + code + " 的 " + std::to_string(edits.size()) + " 个测点";
      break;
  }
  return std::make_unique<EditReadings>(member, std::move(name), std::move(edits), thicknessChanged);
}

std::unique_ptr<Command> makeInsertReading(const Project& project, int member, int index, Reading reading) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr || index < 0 || index > m->readingCount()) return nullptr;
  return std::make_unique<ReadingRow>(
      member, index, true, reading,
      "插入 " + codeText(project, member) + " 的测点 " + std::to_string(index + 1));
}

std::unique_ptr<Command> makePasteReadings(const Project& project, int member, int index,
                                           const std::vector<std::int32_t>& thicknesses) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr || index < 0 || index > m->readingCount() || thicknesses.empty()) return nullptr;
  std::vector<Reading> after = m->readings();
  for (std::size_t k = 0; k < thicknesses.size(); ++k) {
    const std::size_t at = static_cast<std::size_t>(index) + k;
    if (at < after.size()) {
      after[at].thickness = thicknesses[k];
    } else {
      after.push_back(Reading{0, thicknesses[k], 0, ReadingOrigin::Typed});
    }
  }
  if (after == m->readings()) return nullptr;
  return std::make_unique<ReplaceReadings>(
      member, index, m->readings(), std::move(after),
      "粘贴 " + codeText(project, member) + " 的 " + std::to_string(thicknesses.size()) + " 个测点");
}

std::unique_ptr<Command> makeDeleteReading(const Project& project, int member, int row) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr || !m->validIndex(row)) return nullptr;
  return std::make_unique<ReadingRow>(
      member, row, false, m->readings()[static_cast<std::size_t>(row)],
      "删除 " + codeText(project, member) + " 的测点 " + std::to_string(row + 1));
}

std::unique_ptr<Command> makeDeleteReadings(const Project& project, int member, std::vector<int> rows,
                                            ReadingRemoval why) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr) return nullptr;
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::erase_if(rows, [m](int row) { return !m->validIndex(row); });
  if (rows.empty()) return nullptr;
  if (rows.size() == 1 && why == ReadingRemoval::Delete)
    return makeDeleteReading(project, member, rows.front());
  std::vector<Reading> after;
  after.reserve(m->readings().size() - rows.size());
  for (int i = 0, next = 0; i < m->readingCount(); ++i) {
    if (next < static_cast<int>(rows.size()) && rows[static_cast<std::size_t>(next)] == i) {
      ++next;
      continue;
    }
    after.push_back(m->readings()[static_cast<std::size_t>(i)]);
  }
  const std::string what = why == ReadingRemoval::Cut ? "剪切 " : "删除 ";
  return std::make_unique<ReplaceReadings>(
      member, rows.front(), m->readings(), std::move(after),
      what + codeText(project, member) + " 的 " + std::to_string(rows.size()) + " 个测点");
}

std::unique_ptr<Command> makeSetMemberText(const Project& project, int member, MemberField field,
                                           std::string_view gbk) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr || (field != MemberField::Name && field != MemberField::TestDate)) return nullptr;
  const std::string& before = field == MemberField::Name ? m->name() : m->testDate();
  const std::size_t capacity =
      field == MemberField::Name ? MemberRecord::kNameCapacity : MemberRecord::kDateCapacity;
  std::string after(gbkTruncate(gbk, capacity));
  if (after == before) return nullptr;
  return std::make_unique<SetMemberField<std::string>>(member, field, before, std::move(after),
                                                       codeText(project, member));
}

std::unique_ptr<Command> makeSetMemberNumber(const Project& project, int member, MemberField field,
                                             std::int32_t value) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr || field == MemberField::Name || field == MemberField::TestDate) return nullptr;
  const std::int32_t before = numberOf(*m, field);
  if (before == value) return nullptr;
  return std::make_unique<SetMemberField<std::int32_t>>(member, field, before, value,
                                                        codeText(project, member));
}

std::unique_ptr<Command> makeSetSelected(const Project& project, int member, bool selected) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr || (m->selected() != 0) == selected) return nullptr;
  return std::make_unique<SetTicks>(std::vector<SetTicks::Change>{{member, m->selected(), selected ? 1 : 0}},
                                    (selected ? "勾选构件 " : "取消勾选构件 ") + codeText(project, member));
}

std::unique_ptr<Command> makeSetTicks(const Project& project, const std::vector<int>& members,
                                      TickAction action) {
  std::vector<SetTicks::Change> changes;
  std::set<int> seen;
  for (int member : members) {
    const MemberRecord* m = project.memberAt(member);
    if (m == nullptr || !seen.insert(member).second) continue;
    const bool ticked = m->selected() != 0;
    const bool wanted = action == TickAction::Tick || (action == TickAction::Invert && !ticked);
    if (ticked != wanted) changes.push_back({member, m->selected(), wanted ? 1 : 0});
  }
  if (changes.empty()) return nullptr;
  if (changes.size() == 1) return makeSetSelected(project, changes[0].member, changes[0].after != 0);
  const std::string count = std::to_string(changes.size());
  const char* verb = action == TickAction::Tick     ? "勾选 "
                     : action == TickAction::Untick ? "取消勾选 "
                                                    : "反选 ";
  return std::make_unique<SetTicks>(std::move(changes), verb + count + " 个构件");
}

std::unique_ptr<Command> makeAppendMember(const Project&, MemberRecord member) {
  std::string name = "插入构件 " + gbkToUtf8(member.code());
  return std::make_unique<AppendMembers>(std::vector<MemberRecord>{std::move(member)}, std::move(name),
                                         std::nullopt);
}

std::unique_ptr<Command> makeAppendMembers(const Project&, std::vector<MemberRecord> members,
                                           std::string_view from, std::optional<ProjectSource> source) {
  if (members.empty()) return nullptr;
  std::string name = "追加 " + std::to_string(members.size()) + " 个构件";
  if (!from.empty()) name += "（" + std::string(from) + "）";
  return std::make_unique<AppendMembers>(std::move(members), std::move(name), std::move(source));
}

std::unique_ptr<Command> makeDeleteMember(const Project& project, int member) {
  const MemberRecord* m = project.memberAt(member);
  if (m == nullptr) return nullptr;
  return std::make_unique<DeleteMember>(member, *m);
}

std::unique_ptr<Command> makeBatchEdit(const Project& project, const std::vector<int>& members,
                                       const BatchValues& values, int* changedCount) {
  std::vector<BatchEdit::Before> before;
  std::optional<std::string> date;
  if (values.testDate) date = std::string(gbkTruncate(*values.testDate, MemberRecord::kDateCapacity));
  for (int i : members) {
    const MemberRecord* m = project.memberAt(i);
    if (m == nullptr) continue;
    const bool changes = (values.designThickness && *values.designThickness != m->designThickness()) ||
                         (values.plusDeviation && *values.plusDeviation != m->plusDeviation()) ||
                         (values.minusDeviation && *values.minusDeviation != m->minusDeviation()) ||
                         (date && *date != m->testDate()) || (values.sample && *values.sample != m->sample());
    if (!changes) continue;
    before.push_back({i, m->designThickness(), m->plusDeviation(), m->minusDeviation(), m->testDate(),
                      m->storedStatistics(), m->sample()});
  }
  if (changedCount != nullptr) *changedCount = static_cast<int>(before.size());
  if (before.empty()) return nullptr;
  BatchValues stored = values;
  stored.testDate = date;
  return std::make_unique<BatchEdit>(std::move(stored), std::move(before));
}

std::unique_ptr<Command> makeSetParameters(const Project& project, ProjectParameters parameters) {
  if (parameters == project.parameters) return nullptr;
  return std::make_unique<SetParameters>(project.parameters, std::move(parameters));
}

}  // namespace kro
