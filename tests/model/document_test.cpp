// The document: files, commands with undo and redo, the modified mark, and the refreshes that
// follow every change.
#include "model/document.h"

#include <gtest/gtest.h>

#include "model/analysis_file.h"
#include "model/file_lock.h"
#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "model/raw_files.h"
#include "model/sample_project.h"
#include "model/statistics.h"
#include "support/bytes.h"
#include "support/recording_frontend.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

using Calls = std::vector<std::string>;

MemberRecord member(const std::string& code, std::vector<std::int32_t> thicknesses,
                    std::int32_t design = 120) {
  MemberData d;
  d.code = code;
  d.designThickness = design;
  for (std::int32_t t : thicknesses) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

class DocumentTest : public ::testing::Test {
 protected:
  DocumentTest() {
    doc.setDateSource([] { return CalendarDate{2026, 12, 7}; });
  }

  // Writes members as an analysis file and opens it.
  void openMembers(std::vector<MemberRecord> members, const std::string& name = "p.KRO") {
    ASSERT_TRUE(writeAnalysisFile(dir / name, members).ok());
    ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / name, a); }));
    ui.clear();
  }

  test::TempDir dir;
  test::RecordingFrontend ui;
  CKroAnalyzeDoc doc{&ui};
};

TEST_F(DocumentTest, NewDocument) {
  EXPECT_EQ(doc.memberCount(), 0);
  EXPECT_EQ(doc.currentMember(), 0);
  EXPECT_EQ(doc.currentMemberRecord(), nullptr);
  EXPECT_EQ(doc.title(), "楼板仪数据文件");
  EXPECT_FALSE(doc.isModified());
}

TEST_F(DocumentTest, AnalysisExtensionIsCaseSensitive) {
  EXPECT_TRUE(isAnalysisExtension("a/b/x.KRO"));
  EXPECT_TRUE(isAnalysisExtension("x.Kro"));
  EXPECT_TRUE(isAnalysisExtension("x.kro"));
  EXPECT_FALSE(isAnalysisExtension("x.KrO"));
  EXPECT_FALSE(isAnalysisExtension("x.dat"));
  EXPECT_FALSE(isAnalysisExtension("KRO"));
  EXPECT_FALSE(isAnalysisExtension("dir.KRO/file"));
  EXPECT_FALSE(isAnalysisExtension("x.KRO.bak"));
}

TEST_F(DocumentTest, OpenDecidesByContentAndRefreshesInOrder) {
  const std::string bytes = encodeMembers(makeSampleProject(), MemberLayout::Analysis);
  test::writeBytes(dir / "a.kro", bytes);
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "a.kro", a); }));
  EXPECT_EQ(doc.memberCount(), 12);
  EXPECT_EQ(ui.calls, (Calls{"rebuildMemberList", "showMember 0001", "refillGrid", "redrawChart"}));
  EXPECT_FALSE(doc.canUndo());
  EXPECT_EQ(doc.title(), "a.kro");
  EXPECT_FALSE(doc.isModified());

  // The same bytes under another name are recognised by their content.
  test::writeBytes(dir / "a.KrO", bytes);
  ui.clear();
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "a.KrO", a); }));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(doc.members(), makeSampleProject());
}

TEST_F(DocumentTest, AfterOpeningTheFirstMemberIsCurrent) {
  std::vector<MemberRecord> three = {member("A", {}), member("B", {}), member("C", {})};
  openMembers(three);
  doc.selectMember(2);
  openMembers(three, "q.KRO");
  EXPECT_EQ(doc.currentMember(), 0);
  EXPECT_EQ(doc.currentMemberRecord()->code(), "A");
  doc.selectMember(2);
  openMembers({member("D", {})}, "r.KRO");
  ASSERT_NE(doc.currentMemberRecord(), nullptr);
  EXPECT_EQ(doc.currentMemberRecord()->code(), "D");
}

// Received bytes open as a new project of their own; of a damaged file the intact members can be
// opened, when the user agrees, and nothing is ever written over the damaged file.
TEST_F(DocumentTest, ReceivedBytesAndRecoveredFilesOpenWithoutAFile) {
  const std::vector<MemberRecord> members = makeSampleProject();
  const std::string bytes = encodeMembers(members, MemberLayout::Analysis);
  test::writeBytes(dir / "cut.KRO", bytes.substr(0, bytes.size() - 20));
  ui.yesNoAnswers = {false};
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "cut.KRO", a); }));
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_NE(ui.questions[0].find("文件在第 12 个构件处损坏。打开前 11 个构件？"), std::string::npos)
      << ui.questions[0];
  ui.yesNoAnswers = {true};
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "cut.KRO", a); }));
  EXPECT_EQ(doc.memberCount(), 11);
  EXPECT_TRUE(doc.path().empty());
  EXPECT_NE(doc.title().find("恢复自cut.KRO"), std::string::npos);
  ui.pathAnswers = {dir / "cut.KRO"};
  EXPECT_FALSE(
      ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));  // not over the damaged file
  EXPECT_EQ(test::readBytes(dir / "cut.KRO"), bytes.substr(0, bytes.size() - 20));
}

TEST_F(DocumentTest, FailedOpenLeavesTheDocumentUnchanged) {
  openMembers(makeSampleProject());
  const auto before = doc.members();
  const auto path = doc.path();

  test::Bytes damaged;
  damaged.i32(0, 3).resize(100);
  test::writeBytes(dir / "bad.KRO", damaged.str());
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "bad.KRO", a); }));
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "missing.KRO", a); }));
  test::writeBytes(dir / "tiny.KRO", "ab");
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "tiny.KRO", a); }));

  ASSERT_EQ(ui.messages.size(), 3u);
  for (const auto& m : ui.messages) EXPECT_EQ(m.kind, MessageKind::Error);
  EXPECT_NE(ui.messages[0].text.find("bad.KRO"), std::string::npos);
  EXPECT_TRUE(ui.calls.empty());
  EXPECT_EQ(doc.members(), before);
  EXPECT_EQ(doc.path(), path);
}

TEST_F(DocumentTest, SelectionExportOpenedAsIndexFileIsRefused) {
  openMembers(makeSampleProject());
  ASSERT_TRUE(doc.writeSelectionExport(dir / "sel.DEX").ok());
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "sel.DEX", a); }));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find("保存选择构件"), std::string::npos);
  EXPECT_EQ(doc.memberCount(), 12);
}

TEST_F(DocumentTest, RawMembersCarryTheFiguresOfTheirReadings) {
  test::Bytes index;
  index.i16(0, 1).text(2, "A001").resize(12);
  test::Bytes data(74);
  data.text(0, "A001").i16(32, 120).i16(38, 3).i16(74, 118).i16(76, 125).i16(78, 131);
  test::writeBytes(dir / "P.DEX", index.str());
  test::writeBytes(dir / "A001.DAT", data.str());
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "P.DEX", a); }));
  // The instrument's files store no figures: the member's are its readings' from the start, so
  // no stored 0.0 % is shown as differing.
  const MemberRecord* m = doc.currentMemberRecord();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->storedStatistics(), (StoredStatistics{125, 131, 118, 2, 2.0f / 3.0f}));
  PanelTexts t = panelTexts(doc.project(), doc.currentMember(), {});
  EXPECT_EQ(t.passCount, "2");
  EXPECT_EQ(t.maxThickness, "131");
  EXPECT_EQ(t.minThickness, "118");
  EXPECT_EQ(t.averageThickness, "125");
  EXPECT_EQ(t.passRate, "66.7%");
  EXPECT_FALSE(t.passRateDiffers);
  EXPECT_EQ(t.overallPassRate, "66.7%");
  // A tolerance edit recomputes and stores all its figures.
  doc.setPlusDeviation(11);
  m = doc.currentMemberRecord();
  EXPECT_EQ(m->passRate(), 1.0f);
  EXPECT_EQ(m->storedStatistics(), (StoredStatistics{125, 131, 118, 3, 1.0f}));
  EXPECT_FALSE(panelTexts(doc.project(), 0, {}).passRateDiffers);
}

TEST_F(DocumentTest, AppendToEmptyDocument) {
  doc.appendMember();
  ASSERT_EQ(doc.memberCount(), 1);
  EXPECT_EQ(doc.currentMember(), 0);
  const MemberRecord* m = doc.currentMemberRecord();
  EXPECT_EQ(m->code(), "0001");
  // No readings: nothing counts until a value is typed. In an empty project the date takes the
  // transfer's form and the band the office used last (a slab's 120 mm -5/+8 by default).
  EXPECT_EQ(m->readingCount(), 0);
  EXPECT_EQ(m->storedStatistics(), StoredStatistics{});
  EXPECT_EQ(gbkToUtf8(m->testDate()), "2026年12月07日");
  EXPECT_EQ(m->designThickness(), 120);
  EXPECT_EQ(m->minusDeviation(), -5);
  EXPECT_EQ(m->plusDeviation(), 8);
  EXPECT_TRUE(doc.isModified());
  EXPECT_EQ(doc.undoName(), "插入构件 0001");
  EXPECT_EQ(ui.calls, (Calls{"rebuildMemberList", "showMember 0001", "refillGrid", "redrawChart"}));
  doc.newDocument();
  doc.setNewMemberBand({150, -10, 10});
  doc.appendMember();
  EXPECT_EQ(doc.currentMemberRecord()->designThickness(), 150);
  EXPECT_EQ(doc.currentMemberRecord()->minusDeviation(), -10);
  doc.appendMember();  // the next takes the current member's, as before
  EXPECT_EQ(doc.currentMemberRecord()->plusDeviation(), 10);
}

TEST_F(DocumentTest, ANewMemberTakesTheCurrentMembersBandDateFormAndTheFirstFreeCode) {
  MemberData d = member("0001", {120}).data();
  d.designThickness = 150;
  d.minusDeviation = -8;
  d.plusDeviation = 10;
  d.testDate = *utf8ToGbk("2026年 1月 5日");
  openMembers({MemberRecord(d), member("0003", {})});
  doc.selectMember(0);
  doc.appendMember();
  const MemberRecord* m = doc.currentMemberRecord();
  EXPECT_EQ(m->code(), "0002");  // 0001 and 0003 are taken
  EXPECT_EQ(gbkToUtf8(m->testDate()), "2026年12月 7日");
  EXPECT_EQ(std::make_tuple(m->designThickness(), m->minusDeviation(), m->plusDeviation()),
            std::make_tuple(150, -8, 10));
  doc.selectMember(0);
  doc.setTestDate("2025--03--04");
  doc.appendMember();
  EXPECT_EQ(doc.currentMemberRecord()->testDate(), "2026--12--07");
  EXPECT_EQ(doc.currentMemberRecord()->code(), "0004");
  // Once the thousand codes of the sequence are taken, it goes on as it always did.
  Project full;
  for (int n = 1; n <= 1000; ++n) full.members.push_back(member(appendedMemberCode(n), {}));
  EXPECT_EQ(freeAppendedCode(full), appendedMemberCode(1001));
}

TEST_F(DocumentTest, AppendGoesAfterTheLastMember) {
  openMembers({member("A", {}), member("B", {}), member("C", {})});
  doc.selectMember(0);
  doc.appendMember();
  EXPECT_EQ(doc.memberCount(), 4);
  EXPECT_EQ(doc.currentMember(), 3);
  EXPECT_EQ(doc.memberAt(3)->code(), "0001");
  doc.undo();
  EXPECT_EQ(doc.memberCount(), 3);
  EXPECT_EQ(doc.currentMember(), 2);
}

TEST_F(DocumentTest, DeleteCurrentMember) {
  openMembers({member("A", {}), member("B", {}), member("C", {})});
  doc.selectMember(1);
  ui.clear();
  doc.deleteCurrentMember();
  EXPECT_EQ(doc.memberCount(), 2);
  EXPECT_EQ(doc.currentMember(), 1);
  EXPECT_EQ(doc.currentMemberRecord()->code(), "C");
  EXPECT_EQ(ui.calls, (Calls{"rebuildMemberList", "showMember C", "refillGrid", "redrawChart"}));
  EXPECT_TRUE(doc.isModified());
  EXPECT_EQ(doc.undoName(), "删除构件 B");

  doc.deleteCurrentMember();  // the last one: the one before becomes current
  EXPECT_EQ(doc.currentMemberRecord()->code(), "A");
  doc.deleteCurrentMember();
  EXPECT_EQ(doc.memberCount(), 0);
  EXPECT_EQ(doc.currentMember(), -1);
  EXPECT_EQ(ui.calls.back(), "redrawChart");
  EXPECT_EQ(ui.calls[ui.calls.size() - 3], "showMember none");

  ui.clear();
  const std::size_t steps = doc.history().size();
  doc.deleteCurrentMember();  // nothing current: nothing happens
  EXPECT_TRUE(ui.calls.empty());
  EXPECT_EQ(doc.history().size(), steps);
}

TEST_F(DocumentTest, EveryDeletionCanBeUndoneAndRedone) {
  MemberRecord b = member("B", {118, 130});
  MemberData withSpare = b.data();
  withSpare.readings[0].spare = 42;
  openMembers({member("A", {}), MemberRecord(withSpare), member("C", {1})});
  const Project loaded = doc.project();
  doc.selectMember(0);
  doc.deleteCurrentMember();
  doc.deleteCurrentMember();
  EXPECT_EQ(doc.memberCount(), 1);
  // Inserting a member does not drop the deletions either.
  doc.appendMember();
  ASSERT_TRUE(doc.undo());
  ASSERT_TRUE(doc.undo());
  EXPECT_EQ(doc.currentMemberRecord()->code(), "B");
  EXPECT_EQ(doc.currentMemberRecord()->readings(), withSpare.readings);
  ASSERT_TRUE(doc.undo());
  EXPECT_EQ(doc.currentMember(), 0);
  EXPECT_EQ(doc.project(), loaded);
  EXPECT_FALSE(doc.isModified());
  EXPECT_FALSE(doc.undo());

  ASSERT_TRUE(doc.redo());
  ASSERT_TRUE(doc.redo());
  EXPECT_EQ(doc.memberCount(), 1);
  EXPECT_EQ(doc.memberAt(0)->code(), "C");
  EXPECT_EQ(doc.redoName(), "插入构件 0001");
}

TEST_F(DocumentTest, GridEditOfAThicknessMember) {
  openMembers({member("0001", {120, 120, 120, 120})});
  doc.selectMember(0);
  ui.clear();
  EXPECT_TRUE(doc.setCellValue(2, 1, 100).ok());
  const MemberRecord* m = doc.currentMemberRecord();
  EXPECT_EQ(m->readingAt(2), 100);
  EXPECT_EQ(m->passCount(), 3);
  EXPECT_FLOAT_EQ(m->passRate(), 0.75f);
  EXPECT_EQ(m->minThickness(), 100);
  EXPECT_EQ(m->averageThickness(), 115);
  EXPECT_EQ(doc.currentReading(), 2);
  EXPECT_EQ(documentTotals(doc.members()).passCount, 3);
  // Every view shows the change at once.
  EXPECT_EQ(ui.calls, (Calls{"updateMemberRow 0", "showMember 0001", "refillGrid", "redrawChart"}));
  EXPECT_EQ(doc.undoName(), "修改 0001 的测点 3");
  EXPECT_TRUE(doc.isModified());

  // The same value again changes nothing and adds no step.
  EXPECT_TRUE(doc.setCellValue(2, 1, 100).ok());
  EXPECT_EQ(doc.history().size(), 1u);
}

TEST_F(DocumentTest, GridThicknessColumnSetsTheThicknessForEveryKind) {
  MemberRecord grid = member("W001", {1, 2, 3, 4});
  MemberData g = grid.data();
  g.secondColumnStart = 2;
  openMembers({member("P001", {1, 2}), MemberRecord(g)});
  doc.selectMember(0);
  EXPECT_TRUE(doc.setCellValue(1, 1, 50).ok());
  EXPECT_EQ(doc.currentMemberRecord()->readingAt(1), 50);
  EXPECT_EQ(doc.currentMemberRecord()->readings()[1].auxValue, 0);
  EXPECT_TRUE(doc.setCellValue(0, 4, 77).ok());  // nothing for a profile member
  EXPECT_EQ(doc.currentMemberRecord()->readingAt(0), 1);

  doc.selectMember(1);
  EXPECT_TRUE(doc.setCellValue(0, 1, 60).ok());
  EXPECT_TRUE(doc.setCellValue(0, 4, 70).ok());  // auxValue of row 0 + secondColumnStart
  EXPECT_TRUE(doc.setCellValue(1, 5, 80).ok());  // thickness of row 1 + secondColumnStart
  EXPECT_TRUE(doc.setCellValue(1, 3, 90).ok());  // nothing
  const MemberRecord* m = doc.currentMemberRecord();
  EXPECT_EQ(m->readingAt(0), 60);
  EXPECT_EQ(m->readings()[2].auxValue, 70);
  EXPECT_EQ(m->readingAt(3), 80);
  EXPECT_EQ(m->readingAt(1), 2);
  // An offset row beyond the readings changes nothing.
  EXPECT_TRUE(doc.setCellValue(2, 5, 99).ok());
  EXPECT_EQ(m->readingCount(), 4);
  EXPECT_EQ(doc.history().size(), 4u);
}

TEST_F(DocumentTest, PasteIsOneStep) {
  openMembers({member("A", {120, 120, 120}), member("B", {1})});
  doc.selectMember(0);
  EXPECT_TRUE(
      doc.setCellValues({{0, 1, 100}, {1, 1, 101}, {2, 1, 120}, {7, 1, 5}}, ReadingEditKind::Paste).ok());
  EXPECT_EQ(doc.history().size(), 1u);
  EXPECT_EQ(doc.undoName(), "粘贴 A 的 2 个测点");
  EXPECT_EQ(doc.memberAt(0)->readingAt(1), 101);
  doc.selectMember(1);
  doc.undo();  // the pasted member becomes current again
  EXPECT_EQ(doc.currentMember(), 0);
  EXPECT_EQ(doc.memberAt(0)->readings(), member("A", {120, 120, 120}).readings());
}

TEST_F(DocumentTest, AnUnchangedMemberKeepsItsStoredFiguresAndUndoRestoresThem) {
  MemberData d = member("A", {120, 200}).data();
  d.passRate = 0.3f;
  d.passCount = 7;
  d.maxThickness = 999;
  d.averageThickness = 77;
  openMembers({MemberRecord(d), member("B", {120})});
  const StoredStatistics stored = doc.memberAt(0)->storedStatistics();
  doc.selectMember(0);
  // Name, date and tick edits keep the stored figures.
  doc.setMemberName("n");
  doc.setTestDate("2026--01--01");
  doc.setSelected(0, false);
  EXPECT_EQ(doc.memberAt(0)->storedStatistics(), stored);
  EXPECT_EQ(panelTexts(doc.project(), 0, {}).passRate, "30.0%");
  // A reading no slab can have is refused and changes nothing.
  const Status zero = doc.insertReading(0, 0);
  EXPECT_FALSE(zero.ok());
  EXPECT_NE(zero.message().find("“0”"), std::string::npos);
  EXPECT_EQ(doc.memberAt(0)->readingCount(), 2);
  // Inserting a reading changes the member: everything is recomputed.
  ASSERT_TRUE(doc.insertReading(0, 100).ok());
  EXPECT_EQ(doc.memberAt(0)->storedStatistics(), (StoredStatistics{140, 200, 100, 1, passRateOf(1, 3)}));
  EXPECT_EQ(doc.memberAt(1)->storedStatistics(), StoredStatistics{});  // the other member untouched
  doc.undo();
  EXPECT_EQ(doc.memberAt(0)->storedStatistics(), stored);
}

TEST_F(DocumentTest, ReadingRows) {
  openMembers({member("A", {}), member("B", {1, 2})});
  doc.selectMember(1);
  ui.clear();
  EXPECT_TRUE(doc.insertReading(2, 125).ok());
  EXPECT_EQ(ui.calls, (Calls{"updateMemberRow 1", "showMember B", "refillGrid", "redrawChart"}));
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 3);
  EXPECT_EQ(doc.currentMemberRecord()->readingAt(2), 125);
  EXPECT_EQ(doc.currentReading(), 2);
  EXPECT_EQ(doc.undoName(), "插入 B 的测点 3");
  doc.deleteReading(0);
  doc.deleteReading(0);
  doc.deleteReading(0);
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 0);
  EXPECT_EQ(doc.currentMemberRecord()->storedStatistics(), StoredStatistics{});
  ui.clear();
  doc.deleteReading(0);                         // no readings: nothing happens
  EXPECT_TRUE(doc.insertReading(5, 120).ok());  // out of range: nothing happens
  EXPECT_TRUE(ui.calls.empty());
  EXPECT_EQ(doc.history().size(), 4u);
  for (int i = 0; i < 4; ++i) doc.undo();
  EXPECT_EQ(doc.currentMemberRecord()->readings(), member("B", {1, 2}).readings());
}

TEST_F(DocumentTest, PanelEdits) {
  openMembers({member("A", {120})});
  doc.selectMember(0);
  ui.clear();
  // A text leaves the grid and the chart as they are; a number moves the band they colour by.
  doc.setMemberName("\xD6\xD0\xCE\xC4");
  EXPECT_EQ(ui.calls, (Calls{"updateMemberRow 0", "showMember A"}));
  ui.clear();
  doc.setPlusDeviation(9);
  EXPECT_EQ(ui.calls, (Calls{"updateMemberRow 0", "showMember A", "refillGrid", "redrawChart"}));
  doc.undo();
  EXPECT_TRUE(doc.isModified());
  doc.setTestDate("2026\xC4\xEA 1\xD4\xC2 7\xC8\xD5");
  EXPECT_EQ(doc.currentMemberRecord()->testDate(), "2026\xC4\xEA 1\xD4\xC2 7\xC8\xD5");
  // A minus deviation typed without its sign is taken as negative.
  EXPECT_EQ(doc.setMinusDeviation(5), -5);
  EXPECT_EQ(doc.currentMemberRecord()->minusDeviation(), -5);
  EXPECT_EQ(doc.setMinusDeviation(-7), -7);
  EXPECT_EQ(doc.setMinusDeviation(0), 0);
  EXPECT_EQ(toleranceBand(*doc.currentMemberRecord()).lower, 120);
  // Texts are cut at their capacity.
  doc.setMemberName(std::string(150, 'x'));
  EXPECT_EQ(doc.currentMemberRecord()->name().size(), MemberRecord::kNameCapacity);
}

TEST_F(DocumentTest, KeystrokesInOneBoxAreOneStepButNotAcrossASave) {
  openMembers({member("A", {120}), member("B", {})});
  doc.selectMember(0);
  for (int v : {1, 12, 120, 12, 125}) EXPECT_TRUE(doc.setDesignThickness(v).ok());
  EXPECT_EQ(doc.history().size(), 1u);
  EXPECT_EQ(doc.undoName(), "修改 A 的设计厚度");
  doc.setPlusDeviation(3);  // another box: a new step
  EXPECT_EQ(doc.history().size(), 2u);
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));
  doc.setPlusDeviation(4);  // after saving: a new step, so undo returns to the saved state
  EXPECT_EQ(doc.history().size(), 3u);
  doc.undo();
  EXPECT_FALSE(doc.isModified());
  doc.undo();
  doc.undo();
  EXPECT_TRUE(doc.isModified());
  EXPECT_EQ(doc.memberAt(0)->designThickness(), 120);
  EXPECT_EQ(doc.memberAt(0)->plusDeviation(), 8);
  // Leaving the box, or choosing a member again, also starts a new step.
  EXPECT_TRUE(doc.setDesignThickness(121).ok());
  doc.closeUndoStep();
  EXPECT_TRUE(doc.setDesignThickness(122).ok());
  EXPECT_EQ(doc.history().size(), 2u);
  doc.undo();
  doc.undo();
  doc.redo();
  doc.selectMember(0);
  EXPECT_TRUE(doc.setDesignThickness(99).ok());
  EXPECT_EQ(doc.history().index(), 2u);
}

TEST_F(DocumentTest, TicksInBulkAreOneStep) {
  openMembers({member("A", {}), member("B", {}), member("C", {}), member("D", {})});
  doc.selectMember(3);
  doc.setTicks({0, 2, 2}, TickAction::Untick);  // a member named twice counts once
  EXPECT_EQ(doc.undoName(), "取消勾选 2 个构件");
  EXPECT_EQ(doc.currentMember(), 3);  // several: the current member stays
  doc.setTicks({0, 1, 2, 3}, TickAction::Invert);
  EXPECT_EQ(doc.undoName(), "反选 4 个构件");
  std::vector<int> ticks;
  for (const MemberRecord& m : doc.members()) ticks.push_back(m.selected());
  EXPECT_EQ(ticks, (std::vector<int>{1, 0, 1, 0}));
  doc.undo();
  doc.undo();
  for (const MemberRecord& m : doc.members()) EXPECT_EQ(m.selected(), 1);
  EXPECT_FALSE(doc.isModified());
  const std::size_t steps = doc.history().size();
  doc.setTicks({0, 1}, TickAction::Tick);  // nothing to change: no step
  EXPECT_EQ(doc.history().size(), steps);
}

TEST_F(DocumentTest, TicksLiveInTheMembers) {
  openMembers({member("A", {}), member("B", {}), member("C", {})});
  doc.selectMember(0);
  ui.clear();
  doc.setSelected(1, false);
  EXPECT_EQ(doc.memberAt(1)->selected(), 0);
  EXPECT_EQ(doc.currentMember(), 1);  // the ticked row becomes current
  EXPECT_EQ(ui.calls, (Calls{"updateMemberRow 1", "showMember B", "refillGrid", "redrawChart"}));
  EXPECT_EQ(doc.undoName(), "取消勾选构件 B");
  // Ticking the member shown again leaves its grid and chart as they are.
  ui.clear();
  doc.setSelected(1, true);
  EXPECT_EQ(ui.calls, (Calls{"updateMemberRow 1", "showMember B"}));
  doc.undo();
  EXPECT_TRUE(doc.isModified());
  // Every kind of rebuild keeps it: inserting and deleting members, a date change, undo.
  doc.appendMember();
  doc.selectMember(2);
  doc.deleteCurrentMember();
  doc.selectMember(0);
  doc.setTestDate("2026--02--02");
  doc.undo();
  doc.undo();
  EXPECT_EQ(doc.memberAt(1)->selected(), 0);
  // Ticking an already ticked member adds no step but makes it current.
  const std::size_t steps = doc.history().size();
  doc.setSelected(0, true);
  EXPECT_EQ(doc.history().size(), steps);
  EXPECT_EQ(doc.currentMember(), 0);
}

TEST_F(DocumentTest, ChoosingTheCurrentMemberShowsItAgain) {
  openMembers({member("A", {}), member("B", {})});
  doc.selectMember(1);
  ui.clear();
  doc.selectMember(1);
  EXPECT_EQ(ui.calls, (Calls{"showMember B", "refillGrid", "redrawChart"}));
}

TEST_F(DocumentTest, BatchEditIsOneStep) {
  openMembers({member("A", {120}), member("B", {110}), member("C", {100})});
  doc.setSelected(1, false);
  BatchEditRequest request;
  request.values.designThickness = 110;
  request.values.minusDeviation = 4;  // taken as -4
  request.values.testDate = "2026--03--03";
  EXPECT_EQ(doc.batchEdit(request).value(), 2);
  EXPECT_EQ(doc.memberAt(0)->designThickness(), 110);
  EXPECT_EQ(doc.memberAt(0)->minusDeviation(), -4);
  EXPECT_EQ(doc.memberAt(1)->designThickness(), 120);  // not ticked
  EXPECT_EQ(doc.memberAt(2)->testDate(), "2026--03--03");
  EXPECT_EQ(doc.memberAt(2)->passCount(), 0);  // 100 is below 110 - 4: recomputed
  EXPECT_EQ(doc.undoName(), "批量设置构件参数");
  doc.undo();
  EXPECT_EQ(doc.memberAt(0)->designThickness(), 120);
  EXPECT_EQ(doc.memberAt(2)->testDate(), "");
  EXPECT_EQ(doc.memberAt(2)->storedStatistics(), StoredStatistics{});

  request.tickedOnly = false;
  request.values = {};
  request.values.plusDeviation = 8;  // every member already has it
  EXPECT_EQ(doc.batchEdit(request).value(), 0);
  EXPECT_EQ(doc.history().index(), 1u);

  // Members just appended alone, whatever their ticks; a design thickness no slab has is refused.
  request.values = {};
  request.values.plusDeviation = 9;
  request.only = {1};
  EXPECT_EQ(doc.batchEdit(request).value(), 1);
  EXPECT_EQ(doc.memberAt(1)->plusDeviation(), 9);
  EXPECT_EQ(doc.memberAt(0)->plusDeviation(), 8);
  request.values.designThickness = 0;
  const Result<int> refused = doc.batchEdit(request);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("“0”"), std::string::npos);
  EXPECT_EQ(doc.memberAt(1)->plusDeviation(), 9);
}

TEST_F(DocumentTest, EditsWithoutACurrentMemberDoNothing) {
  doc.setMemberName("x");
  EXPECT_TRUE(doc.setDesignThickness(5).ok());
  EXPECT_TRUE(doc.setCellValue(0, 1, 5).ok());
  EXPECT_TRUE(doc.insertReading(0, 5).ok());
  EXPECT_TRUE(doc.pasteReadings(0, {5}).ok());
  doc.selectMember(0);
  doc.setSelected(0, false);
  EXPECT_TRUE(ui.calls.empty());
  EXPECT_FALSE(doc.isModified());
  EXPECT_FALSE(doc.undo());
  EXPECT_FALSE(doc.redo());
}

TEST_F(DocumentTest, CurrentReading) {
  doc.setCurrentReading(3, false, true);
  EXPECT_EQ(doc.currentReading(), 3);
  EXPECT_EQ(ui.calls, (Calls{"redrawChart"}));
  doc.setCurrentReading(-1, true, true);
  EXPECT_EQ(doc.currentReading(), 3);
}

TEST_F(DocumentTest, SaveWritesTheOwnAnalysisFileWithTheTicks) {
  openMembers({member("A", {120}), member("B", {})});
  doc.setSelected(0, false);
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_FALSE(doc.isModified());
  auto back = decodeAnalysisFile(test::readBytes(dir / "p.KRO"));
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.value(), doc.members());
  EXPECT_EQ(back.value()[0].selected(), 0);
  // Undoing past the saved state marks the document modified again.
  doc.undo();
  EXPECT_TRUE(doc.isModified());
  doc.redo();
  EXPECT_FALSE(doc.isModified());
}

TEST_F(DocumentTest, SaveOfARawFileAsksForAName) {
  ASSERT_TRUE(writeRawProject(dir.path(), "P.DEX", {member("A", {120})}).ok());
  const std::string index = test::readBytes(dir / "P.DEX");
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "P.DEX", a); }));
  doc.deleteCurrentMember();
  doc.appendMember();

  ui.pathAnswers = {std::nullopt};
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));  // cancelled
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].filter, "楼板仪数据文件(*.KRO)|*.KRO|");
  EXPECT_EQ(ui.dialogs[0].defaultExtension, "KRO");
  EXPECT_EQ(ui.dialogs[0].proposedName, "楼板仪数据文件.KRO");
  EXPECT_EQ(test::readBytes(dir / "P.DEX"), index);
  EXPECT_TRUE(doc.isModified());

  ui.pathAnswers = {dir / "out.KRO"};
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));
  EXPECT_EQ(doc.path(), dir / "out.KRO");
  EXPECT_EQ(doc.title(), "out.KRO");
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "out.KRO")).value().size(), 1u);
  // From now on the document saves to its own file without asking.
  ui.dialogs.clear();
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));
  EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(DocumentTest, FailedSaveIsReportedAndKeepsTheOldFile) {
  openMembers({member("A", {120})});
  const std::string before = test::readBytes(dir / "p.KRO");
  doc.selectMember(0);
  doc.setMemberName("changed");
  // Replace the target by a folder so the rename must fail.
  ui.pathAnswers = {dir / "sub"};
  std::filesystem::create_directories(dir / "sub");
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.saveAnalysisFileAs(a); }));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, MessageKind::Error);
  EXPECT_TRUE(doc.isModified());
  EXPECT_EQ(doc.path(), dir / "p.KRO");
  EXPECT_EQ(test::readBytes(dir / "p.KRO"), before);
}

TEST_F(DocumentTest, SelectionExportWritesTheTicksAndRefusesAnAnalysisName) {
  openMembers({member("A", {120}), member("B", {})});
  doc.setSelected(1, false);
  ui.pathAnswers = {dir / "sel.DEX"};
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.saveSelection(a); }));
  EXPECT_EQ(ui.dialogs[0].filter, "楼板仪数据文件(*.DEX)||");
  EXPECT_EQ(ui.dialogs[0].defaultExtension, "DEX");
  EXPECT_EQ(ui.dialogs[0].proposedName, "");
  const std::string bytes = test::readBytes(dir / "sel.DEX");
  EXPECT_EQ(bytes.size(), 4u + 170 + 12 + 170);
  EXPECT_EQ(bytes[4 + 125], 1);
  EXPECT_EQ(bytes[4 + 170 + 12 + 125], 0);
  EXPECT_EQ(doc.path(), dir / "p.KRO");  // the document stays with its own file
  EXPECT_TRUE(doc.isModified());         // and is not saved by an export

  ui.pathAnswers = {dir / "sel.KRO"};
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.saveSelection(a); }));
  EXPECT_FALSE(std::filesystem::exists(dir / "sel.KRO"));
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(DocumentTest, ExportsNeverReplaceAFileTheProjectWasReadFrom) {
  ASSERT_TRUE(writeRawProject(dir.path(), "P.DEX", {member("A001", {120}), member("A002", {121})}).ok());
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "P.DEX", a); }));
  ui.clear();
  const std::string index = test::readBytes(dir / "P.DEX");
  const std::string data = test::readBytes(dir / "A002.DAT");
  // The index file and each member data file, in any spelling, for either save.
  for (const std::filesystem::path& input : {dir / "P.DEX", dir / "." / "A002.DAT"}) {
    ui.pathAnswers = {input};
    EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.saveSelection(a); }));
    ui.pathAnswers = {input};
    EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.saveAnalysisFileAs(a); }));
  }
  EXPECT_EQ(ui.messages.size(), 4u);
  EXPECT_EQ(test::readBytes(dir / "P.DEX"), index);
  EXPECT_EQ(test::readBytes(dir / "A002.DAT"), data);
  EXPECT_FALSE(doc.checkOutput(dir / "A001.DAT").ok());
  EXPECT_TRUE(doc.checkOutput(dir / "other.xlsx").ok());

  // Saved as an analysis file, the document may replace that file, but a selection export
  // may not, and the raw files stay protected.
  ui.pathAnswers = {dir / "p.KRO"};
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.saveAnalysisFileAs(a); }));
  ui.pathAnswers = {dir / "p.KRO"};
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.saveAnalysisFileAs(a); }));
  ui.pathAnswers = {dir / "p.KRO"};
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.saveSelection(a); }));
  EXPECT_FALSE(doc.checkOutput(dir / "A001.DAT").ok());
}

TEST_F(DocumentTest, SaveModifiedAsksOnlyWhenThereAreChanges) {
  openMembers({member("A", {120})});
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.saveModified(a); }));
  EXPECT_TRUE(ui.questions.empty());

  doc.selectMember(0);
  EXPECT_TRUE(doc.setDesignThickness(100).ok());
  ui.saveAnswers = {SaveChoice::Cancel, SaveChoice::Discard, SaveChoice::Save};
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.saveModified(a); }));
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.saveModified(a); }));
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.saveModified(a); }));
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(ui.questions.size(), 3u);
  EXPECT_NE(ui.questions[0].find("p.KRO"), std::string::npos);
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "p.KRO")).value()[0].designThickness(), 100);
}

TEST_F(DocumentTest, OpeningStartsANewHistory) {
  openMembers({member("A", {120})});
  doc.selectMember(0);
  EXPECT_TRUE(doc.setDesignThickness(100).ok());
  openMembers({member("B", {})}, "q.KRO");
  EXPECT_FALSE(doc.canUndo());
  EXPECT_FALSE(doc.isModified());
}

TEST_F(DocumentTest, NewDocumentIsAnEmptyProjectWithoutAFile) {
  openMembers({member("A", {})});
  EXPECT_TRUE(doc.setDesignThickness(130).ok());
  doc.newDocument();
  EXPECT_TRUE(doc.path().empty());
  EXPECT_EQ(doc.title(), "楼板仪数据文件");
  EXPECT_EQ(doc.memberCount(), 0);
  EXPECT_FALSE(doc.canUndo());
  EXPECT_FALSE(doc.isModified());
}

// Two windows on one file: the second hears who has it and may only view it; nothing it saves
// goes over the first's file, and the lock goes when the first closes it.
TEST_F(DocumentTest, ASecondWindowOnAFileIsReadOnly) {
  doc.useFileLocks("kroanalyze");
  openMembers(makeSampleProject());
  EXPECT_TRUE(std::filesystem::exists(lockFileFor(dir / "p.KRO")));
  test::RecordingFrontend otherUi;
  CKroAnalyzeDoc other(&otherUi);
  other.useFileLocks("kroanalyze");
  EXPECT_FALSE(
      otherUi.settle([&](const DocumentAnswers& a) { return other.open(dir / "p.KRO", a); }));  // cancelled
  ASSERT_EQ(otherUi.questions.size(), 1u);
  EXPECT_NE(otherUi.questions[0].find("已由 "), std::string::npos);
  otherUi.choiceAnswers = {0};
  ASSERT_TRUE(otherUi.settle([&](const DocumentAnswers& a) { return other.open(dir / "p.KRO", a); }));
  EXPECT_TRUE(other.isReadOnly());
  EXPECT_EQ(other.title(), "p.KRO（只读）");
  // 保存 asks for another name; the held file itself is refused.
  other.setSelected(0, false);
  otherUi.pathAnswers = {dir / "p.KRO"};
  EXPECT_FALSE(otherUi.settle([&](const DocumentAnswers& a) { return other.save(a); }));
  ASSERT_EQ(otherUi.dialogs.size(), 1u);
  EXPECT_NE(otherUi.messages.back().text.find("已由 "), std::string::npos);
  otherUi.pathAnswers = {dir / "copy.KRO"};
  EXPECT_TRUE(otherUi.settle([&](const DocumentAnswers& a) { return other.save(a); }));
  EXPECT_FALSE(other.isReadOnly());
  EXPECT_EQ(other.path(), dir / "copy.KRO");
  // The first window still holds its file; closing it removes the lock.
  EXPECT_EQ(lockStatus(dir / "p.KRO").state, LockState::Held);
  doc.newDocument();
  EXPECT_FALSE(std::filesystem::exists(lockFileFor(dir / "p.KRO")));
}

// A file changed on the disk since it was read is never overwritten without asking.
TEST_F(DocumentTest, SavingOverAFileChangedOnTheDiskAsksFirst) {
  openMembers(makeSampleProject());
  doc.setSelected(0, false);
  const auto file = dir / "p.KRO";
  test::writeBytes(file, test::readBytes(file) + "x");  // another program wrote it
  std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(3));
  const std::string theirs = test::readBytes(file);
  EXPECT_FALSE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));  // cancelled
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_NE(ui.questions[0].find("被其他程序或窗口修改过"), std::string::npos);
  EXPECT_NE(ui.questions[0].find("磁盘上现在的版本："), std::string::npos);
  EXPECT_EQ(test::readBytes(file), theirs);
  EXPECT_TRUE(doc.isModified());
  // 另存为 keeps both.
  ui.choiceAnswers = {1};
  ui.pathAnswers = {dir / "mine.KRO"};
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));
  EXPECT_EQ(test::readBytes(file), theirs);
  EXPECT_EQ(doc.path(), dir / "mine.KRO");
  // Once saved, later saves of an unchanged file ask nothing; overwriting a changed one replaces it.
  ui.clear();
  doc.setSelected(1, false);
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));
  EXPECT_TRUE(ui.questions.empty());
  test::writeBytes(dir / "mine.KRO", "changed elsewhere");
  doc.setSelected(2, false);
  ui.choiceAnswers = {0};
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(loadProject(dir / "mine.KRO").value().project.members, doc.members());
}

// A file without parameters is judged by the office's when opened, and is modified until the
// first save puts them into it.
TEST_F(DocumentTest, AFileWithoutParametersGetsTheOfficesUntilSaved) {
  ProjectParameters office{{{"R", "85"}}, true, true};
  doc.setParameterDefaults([&](bool) { return office; });
  openMembers(makeSampleProject());
  EXPECT_EQ(doc.project().parameters.values, office.values);
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.save(a); }));
  EXPECT_FALSE(doc.isModified());
  auto saved = loadProject(dir / "p.KRO");
  ASSERT_TRUE(saved.ok());
  EXPECT_TRUE(saved.value().project.parameters.stored);
  EXPECT_EQ(saved.value().project.parameters.values, office.values);
  // The office's defaults changing later no longer changes that project.
  office.values[0].second = "95";
  ASSERT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.open(dir / "p.KRO", a); }));
  EXPECT_EQ(doc.project().parameters.values[0].second, "85");
  EXPECT_FALSE(doc.isModified());
  // A new project takes them too, without counting as a change.
  doc.newDocument();
  EXPECT_EQ(doc.project().parameters.values[0].second, "95");
  EXPECT_FALSE(doc.isModified());
}

}  // namespace
}  // namespace kro

namespace kro {
namespace {

// Without anybody watching, each file operation says what it needs and goes on with the answer.
TEST(DocumentSteps, FileOperationsReturnTheirQuestionsAndGoOnWithTheAnswers) {
  test::TempDir dir;
  auto answered = [](auto&& give) {
    DocumentAnswers answers;
    give(answers);
    return answers;
  };
  CKroAnalyzeDoc doc;
  doc.appendMember();
  DocumentStep step = doc.saveModified();
  EXPECT_FALSE(step.done);
  EXPECT_EQ(step.question, DocumentQuestion::SaveModified);
  EXPECT_EQ(step.text, "是否保存对“楼板仪数据文件”的修改？");
  EXPECT_TRUE(doc.saveModified(answered([](auto& a) { a.saveModified = SaveChoice::Discard; })).done);
  EXPECT_FALSE(doc.saveModified(answered([](auto& a) { a.saveModified = SaveChoice::Cancel; })).done);

  // Saving an untitled project needs a name, then writes there.
  step = doc.saveModified(answered([](auto& a) { a.saveModified = SaveChoice::Save; }));
  ASSERT_EQ(step.question, DocumentQuestion::SavePath);
  EXPECT_EQ(step.dialog.defaultExtension, "KRO");
  const std::filesystem::path file = dir / "p.KRO";
  EXPECT_TRUE(doc.saveModified(answered([&](auto& a) {
                   a.savePath = file;
                   a.saveModified = SaveChoice::Save;
                 }))
                  .done);
  EXPECT_FALSE(doc.isModified());

  // Changed on the disk meanwhile: 覆盖 or 另存为..., and nothing written before the answer.
  doc.appendMember();
  test::writeBytes(file, test::readBytes(file) + "x");
  step = doc.save();
  ASSERT_EQ(step.question, DocumentQuestion::OverwriteChanged);
  EXPECT_EQ(step.choices, (std::vector<std::string>{"覆盖", "另存为..."}));
  EXPECT_EQ(test::readBytes(file).back(), 'x');
  EXPECT_EQ(doc.save(answered([](auto& a) { a.changedChoice = 1; })).question, DocumentQuestion::SavePath);
  EXPECT_TRUE(doc.save(answered([](auto& a) { a.changedChoice = 0; })).done);
  EXPECT_EQ(loadProject(file).value().project.memberCount(), 2);

  // 另存为 onto its own file, which changed on the disk, then 另存为... at the question: another
  // name is asked for, and the changed file stays as it is.
  doc.appendMember();
  test::writeBytes(file, test::readBytes(file) + "y");
  test::RecordingFrontend ui;
  ui.pathAnswers = {file, dir / "other.KRO"};
  ui.choiceAnswers = {1};
  EXPECT_TRUE(ui.settle([&](const DocumentAnswers& a) { return doc.saveAnalysisFileAs(a); }));
  EXPECT_EQ(test::readBytes(file).back(), 'y');
  EXPECT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(loadProject(dir / "other.KRO").value().project.memberCount(), 3);

  // A file that cannot be opened: a notice, and the document as it was.
  step = doc.open(dir / "missing.KRO");
  EXPECT_FALSE(step.done);
  ASSERT_TRUE(step.notice.has_value());
  EXPECT_EQ(step.notice->kind, MessageKind::Error);
  EXPECT_EQ(doc.memberCount(), 3);
}

}  // namespace
}  // namespace kro
