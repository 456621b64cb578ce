// Commands and the undo stack: each command undone gives back exactly what was there, the
// history follows the saved state, and random edits of a real document come back byte for
// byte with every figure shown agreeing with the readings.
#include "model/commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model/analysis_file.h"
#include "model/document.h"
#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "model/sample_project.h"
#include "model/undo_stack.h"
#include "support/recording_frontend.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

Project sample() { return Project{makeSampleProject()}; }

TEST(Commands, NothingToChangeGivesNoCommand) {
  const Project p = sample();
  const std::int32_t t = p.members[0].readingAt(0);
  EXPECT_EQ(makeEditReadings(p, 0, {{0, false, t}}, ReadingEditKind::Typed), nullptr);
  EXPECT_EQ(makeEditReadings(p, 0, {{999, false, t + 1}}, ReadingEditKind::Typed), nullptr);
  EXPECT_EQ(makeEditReadings(p, 99, {{0, false, t + 1}}, ReadingEditKind::Typed), nullptr);
  EXPECT_EQ(makeSetMemberNumber(p, 0, MemberField::DesignThickness, p.members[0].designThickness()), nullptr);
  EXPECT_EQ(makeSetMemberText(p, 0, MemberField::Name, p.members[0].name()), nullptr);
  EXPECT_EQ(makeSetSelected(p, 0, true), nullptr);
  EXPECT_EQ(makeInsertReading(p, 0, -1, {}), nullptr);
  EXPECT_EQ(makeInsertReading(p, 0, p.members[0].readingCount() + 1, {}), nullptr);
  EXPECT_EQ(makePasteReadings(p, 0, 0, {t}), nullptr);  // the same value
  EXPECT_EQ(makePasteReadings(p, 0, p.members[0].readingCount() + 1, {1}), nullptr);
  EXPECT_EQ(makeDeleteReading(p, 0, p.members[0].readingCount()), nullptr);
  EXPECT_EQ(makeDeleteMember(p, 12), nullptr);
  EXPECT_EQ(makeBatchEdit(p, {0, 1}, {}), nullptr);
}

TEST(Commands, AnAuxValueAloneKeepsTheStoredFigures) {
  Project p = sample();
  MemberData d = p.members[0].data();
  d.passRate = 0.123f;
  p.members[0] = MemberRecord(d);
  const Reading r = p.members[0].readings()[0];
  auto aux = makeEditReadings(p, 0, {{0, true, r.auxValue + 5}}, ReadingEditKind::Typed);
  ASSERT_NE(aux, nullptr);
  aux->redo(p);
  EXPECT_EQ(p.members[0].passRate(), 0.123f);
  EXPECT_EQ(p.members[0].readings()[0].auxValue, r.auxValue + 5);
  auto thickness = makeEditReadings(p, 0, {{0, false, r.thickness + 1}}, ReadingEditKind::Typed);
  thickness->redo(p);
  EXPECT_NE(p.members[0].passRate(), 0.123f);
  thickness->undo(p);
  EXPECT_EQ(p.members[0].passRate(), 0.123f);
}

TEST(Commands, AReadingChangedTwiceInOneCommandUndoesToItsFirstValue) {
  Project p = sample();
  const Project before = p;
  auto cmd = makeEditReadings(p, 0, {{0, false, 1}, {0, true, 9}, {0, false, 2}}, ReadingEditKind::Paste);
  cmd->redo(p);
  EXPECT_EQ(p.members[0].readings()[0], (Reading{9, 2, before.members[0].readings()[0].spare}));
  cmd->undo(p);
  EXPECT_EQ(p, before);
}

TEST(Commands, NamesSayWhatWouldBeUndone) {
  const Project p = sample();
  const std::string code = gbkToUtf8(p.members[2].code());
  EXPECT_EQ(makeDeleteMember(p, 2)->name(), "删除构件 " + code);
  EXPECT_EQ(makeSetSelected(p, 2, false)->name(), "取消勾选构件 " + code);
  EXPECT_EQ(makeSetMemberNumber(p, 2, MemberField::MinusDeviation, -9)->name(),
            "修改 " + code + " 的允许负偏差");
  EXPECT_EQ(makeDeleteReading(p, 2, 4)->name(), "删除 " + code + " 的测点 5");
  EXPECT_EQ(makeInsertReading(p, 2, 5, {})->name(), "插入 " + code + " 的测点 6");
  EXPECT_EQ(makePasteReadings(p, 2, 0, {1, 2})->name(), "粘贴 " + code + " 的 2 个测点");
}

TEST(UndoStack, MergesKeystrokesAndFollowsTheSavedState) {
  Project p = sample();
  UndoStack stack;
  EXPECT_TRUE(stack.isAtSavedState());
  EXPECT_EQ(stack.undoName(), "");
  stack.push(makeSetMemberNumber(p, 0, MemberField::DesignThickness, 1), p);
  stack.push(makeSetMemberNumber(p, 0, MemberField::DesignThickness, 12), p);
  stack.push(makeSetMemberNumber(p, 1, MemberField::DesignThickness, 12), p);  // another member
  EXPECT_EQ(stack.size(), 2u);
  EXPECT_FALSE(stack.isAtSavedState());
  stack.markSaved();
  stack.undo(p);
  EXPECT_FALSE(stack.isAtSavedState());
  EXPECT_TRUE(stack.canRedo());
  // A new command after an undo drops the redo tail, and with it the saved state.
  stack.push(makeSetSelected(p, 3, false), p);
  EXPECT_FALSE(stack.canRedo());
  EXPECT_EQ(stack.size(), 2u);
  stack.undo(p);
  stack.redo(p);
  EXPECT_FALSE(stack.isAtSavedState());
  stack.undo(p);
  stack.undo(p);
  EXPECT_EQ(p, sample());
  EXPECT_FALSE(stack.undo(p).has_value());
  stack.clear();
  EXPECT_TRUE(stack.isAtSavedState());
  EXPECT_FALSE(stack.canRedo());
}

// The panel's figures worked out here, without the program's statistics code.
struct Expected {
  std::string count, passCount, max, min, rate, average, totalCount, totalPass, totalRate;
};

// passed / count as a percentage with one decimal, half away from zero, in whole numbers.
std::string percent(long long passed, long long count) {
  const long long tenths = (passed * 2000 + count) / (2 * count);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

Expected expectedFigures(const Project& p, int current) {
  Expected e;
  const MemberData& d = p.members[static_cast<std::size_t>(current)].data();
  long long pass = 0, sum = 0;
  int high = d.maxThickness, low = d.minThickness;
  for (std::size_t i = 0; i < d.readings.size(); ++i) {
    const long long t = d.readings[i].thickness;
    pass +=
        (t >= 0LL + d.designThickness + d.minusDeviation && t <= 0LL + d.designThickness + d.plusDeviation);
    sum += t;
    if (i == 0 || t > high) high = static_cast<int>(t);
    if (i == 0 || t < low) low = static_cast<int>(t);
  }
  const long long n = static_cast<long long>(d.readings.size());
  e.count = std::to_string(n);
  e.passCount = std::to_string(pass);
  e.max = std::to_string(high);
  e.min = std::to_string(low);
  // The stored rate: from the stored count when it is that count's fraction, else from its value.
  if (n > 0 && d.passRate == static_cast<float>(static_cast<long double>(d.passCount) / n)) {
    e.rate = percent(d.passCount, n);
  } else {
    char text[32];
    const long double tenths = std::floor(std::fabs(static_cast<long double>(d.passRate) * 1000) + 0.5L);
    std::snprintf(text, sizeof text, "%s%.1f%%", d.passRate < 0 && tenths > 0 ? "-" : "",
                  static_cast<double>(tenths / 10));
    e.rate = text;
  }
  long long mean = n == 0 ? 0 : std::llround(static_cast<long double>(sum) / n);
  e.average = std::to_string(d.averageThickness != 0 ? d.averageThickness : mean);
  long long totalCount = 0, totalPass = 0;
  for (const MemberRecord& m : p.members) {
    for (const Reading& r : m.readings()) {
      ++totalCount;
      totalPass += r.thickness >= 0LL + m.designThickness() + m.minusDeviation() &&
                   r.thickness <= 0LL + m.designThickness() + m.plusDeviation();
    }
  }
  e.totalCount = std::to_string(totalCount);
  e.totalPass = std::to_string(totalPass);
  e.totalRate = totalCount == 0 ? "0.0%" : percent(totalPass, totalCount);
  return e;
}

void expectPanelAgrees(const CKroAnalyzeDoc& doc, const std::string& step) {
  if (doc.currentMemberRecord() == nullptr) return;
  const PanelTexts t = panelTexts(doc.project(), doc.currentMember(), {});
  const Expected e = expectedFigures(doc.project(), doc.currentMember());
  EXPECT_EQ(t.readingCount, e.count) << step;
  EXPECT_EQ(t.passCount, e.passCount) << step;
  EXPECT_EQ(t.maxThickness, e.max) << step;
  EXPECT_EQ(t.minThickness, e.min) << step;
  EXPECT_EQ(t.passRate, e.rate) << step;
  EXPECT_EQ(t.averageThickness, e.average) << step;
  EXPECT_EQ(t.totalReadingCount, e.totalCount) << step;
  EXPECT_EQ(t.totalPassCount, e.totalPass) << step;
  EXPECT_EQ(t.overallPassRate, e.totalRate) << step;
}

// One random user action on the document.
std::string randomCommand(CKroAnalyzeDoc& doc, std::mt19937& rng) {
  auto pick = [&](int n) { return n <= 0 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(n)); };
  // Staying on the member now and then lets keystroke-like edits merge into one step.
  if (doc.memberCount() > 0 && pick(2) == 0) doc.selectMember(pick(doc.memberCount()));
  const MemberRecord* m = doc.currentMemberRecord();
  const int rows = m != nullptr ? m->readingCount() : 0;
  switch (pick(13)) {
    case 0:
      EXPECT_TRUE(doc.setCellValue(pick(rows), 1, 100 + pick(60)).ok());
      return "edit";
    case 1: {
      std::vector<CellValue> cells;
      for (int k = 0; k < 3; ++k) cells.push_back({pick(rows), 1, 90 + pick(80)});
      EXPECT_TRUE(doc.setCellValues(cells, ReadingEditKind::Paste).ok());
      return "paste";
    }
    case 2:
      EXPECT_TRUE(doc.insertReading(pick(rows + 1), 100 + pick(60)).ok());
      return "insert";
    case 3:
      EXPECT_TRUE(doc.pasteReadings(pick(rows + 1), {100 + pick(60), 100 + pick(60), 100 + pick(60)}).ok());
      return "paste beyond";
    case 4:
      doc.deleteReading(pick(rows));
      return "delete reading";
    case 5:
      EXPECT_TRUE(doc.setDesignThickness(100 + pick(60)).ok());
      return "design";
    case 6:
      doc.setPlusDeviation(pick(12));
      return "plus";
    case 7:
      doc.setMinusDeviation(pick(25) - 12);
      return "minus";
    case 8:
      doc.setMemberName(std::string(static_cast<std::size_t>(pick(5)), 'n'));
      return "name";
    case 9:
      doc.setSelected(pick(doc.memberCount()), pick(2) == 0);
      return "tick";
    case 10:
      doc.appendMember();
      return "append";
    case 11:
      doc.deleteCurrentMember();
      return "delete member";
    default: {
      BatchEditRequest r;
      r.tickedOnly = pick(2) == 0;
      r.values.designThickness = 110 + pick(20);
      if (pick(2) == 0) r.values.minusDeviation = pick(10);
      EXPECT_TRUE(doc.batchEdit(r).ok());
      return "batch";
    }
  }
}

TEST(CommandsProperty, UndoAllGivesTheLoadedBytesAndRedoAllTheEditedOnes) {
  test::TempDir dir;
  // A file from elsewhere: stored figures that disagree with the readings, a full-width name.
  std::vector<MemberRecord> members = makeSampleProject();
  MemberData odd = members[1].data();
  odd.passRate = 0.5f;
  odd.averageThickness = 0;
  odd.name = std::string(100, 'x');
  members[1] = MemberRecord(odd);
  ASSERT_TRUE(writeAnalysisFile(dir / "in.KRO", members).ok());
  const std::string loadedBytes = test::readBytes(dir / "in.KRO");

  for (unsigned seed = 1; seed <= 24; ++seed) {
    test::RecordingFrontend ui;
    CKroAnalyzeDoc doc(&ui);
    ASSERT_TRUE(doc.open(dir / "in.KRO").done);
    ASSERT_TRUE(doc.writeAnalysisFile(dir / "opened.KRO").ok());
    EXPECT_TRUE(test::readBytes(dir / "opened.KRO") == loadedBytes) << "seed " << seed;
    std::mt19937 rng(seed);
    // The project after each step of the history, to compare every undo and redo with.
    std::vector<Project> states = {doc.project()};
    std::vector<std::string> names = {"loaded"};
    for (int i = 0; i < 60; ++i) {
      const std::string step = randomCommand(doc, rng);
      expectPanelAgrees(doc, "seed " + std::to_string(seed) + " step " + std::to_string(i) + " " + step);
      // Now and then, undo a few and redo some of them.
      if (rng() % 7 == 0) {
        doc.undo();
        doc.undo();
        doc.redo();
        expectPanelAgrees(doc, "after undo and redo");
      }
      states.resize(doc.history().index() + 1);
      names.resize(doc.history().index() + 1);
      states.back() = doc.project();
      names.back() = doc.undoName();
    }
    // An undo near the end may have left steps to redo: redo them, so the history ends here.
    while (doc.redo()) {
      states.push_back(doc.project());
      names.push_back(doc.undoName());
    }
    ASSERT_EQ(states.size(), doc.history().size() + 1);
    ASSERT_TRUE(doc.writeAnalysisFile(dir / "edited.KRO").ok());
    const std::string editedBytes = test::readBytes(dir / "edited.KRO");
    while (doc.undo()) {
      expectPanelAgrees(doc, "undoing");
      ASSERT_TRUE(doc.project() == states[doc.history().index()])
          << "seed " << seed << ": undoing " << names[doc.history().index() + 1];
    }
    EXPECT_FALSE(doc.isModified()) << "seed " << seed;
    ASSERT_TRUE(doc.writeAnalysisFile(dir / "undone.KRO").ok());
    EXPECT_TRUE(test::readBytes(dir / "undone.KRO") == loadedBytes) << "seed " << seed;
    while (doc.redo()) {
      expectPanelAgrees(doc, "redoing");
      ASSERT_TRUE(doc.project() == states[doc.history().index()])
          << "seed " << seed << ": redoing " << names[doc.history().index()];
    }
    ASSERT_TRUE(doc.writeAnalysisFile(dir / "redone.KRO").ok());
    EXPECT_TRUE(test::readBytes(dir / "redone.KRO") == editedBytes) << "seed " << seed;
  }
}

}  // namespace
}  // namespace kro
