// The document's commands: what they change, which refreshes follow and in which order.
#include "model/document.h"

#include <gtest/gtest.h>

#include "model/analysis_file.h"
#include "model/sample_project.h"
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
    doc.setDateSource([] { return std::string("2026--12--07"); });
    doc.setSettingsLocation(SettingsLocation::inFolder(dir.path()));
  }

  // Writes members as an analysis file and opens it.
  void openMembers(std::vector<MemberRecord> members, const std::string& name = "p.KRO") {
    ASSERT_TRUE(writeAnalysisFile(dir / name, members).ok());
    ASSERT_TRUE(doc.open(dir / name));
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
  EXPECT_TRUE(CKroAnalyzeDoc::isAnalysisExtension("a/b/x.KRO"));
  EXPECT_TRUE(CKroAnalyzeDoc::isAnalysisExtension("x.Kro"));
  EXPECT_TRUE(CKroAnalyzeDoc::isAnalysisExtension("x.kro"));
  EXPECT_FALSE(CKroAnalyzeDoc::isAnalysisExtension("x.KrO"));
  EXPECT_FALSE(CKroAnalyzeDoc::isAnalysisExtension("x.dat"));
  EXPECT_FALSE(CKroAnalyzeDoc::isAnalysisExtension("KRO"));
  EXPECT_FALSE(CKroAnalyzeDoc::isAnalysisExtension("dir.KRO/file"));
  EXPECT_FALSE(CKroAnalyzeDoc::isAnalysisExtension("x.KRO.bak"));
}

TEST_F(DocumentTest, OpenDispatchesByExtensionAndRefreshesInOrder) {
  const std::string bytes = encodeMembers(makeSampleProject(), MemberLayout::Analysis);
  test::writeBytes(dir / "a.kro", bytes);
  ASSERT_TRUE(doc.open(dir / "a.kro"));
  EXPECT_EQ(doc.memberCount(), 12);
  EXPECT_EQ(ui.calls, (Calls{"rebuildMemberList", "showMember 0001", "refillGrid", "redrawChart"}));
  EXPECT_EQ(doc.title(), "a.kro");
  EXPECT_FALSE(doc.isModified());

  // The same bytes under "KrO" go to the index-file reader, which finds no data files.
  test::writeBytes(dir / "a.KrO", bytes);
  ui.clear();
  ASSERT_TRUE(doc.open(dir / "a.KrO"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, MessageKind::Warning);
  ASSERT_GT(doc.memberCount(), 0);
  EXPECT_EQ(doc.memberAt(0)->readingCount(), 0);
}

TEST_F(DocumentTest, OpenKeepsTheCurrentIndex) {
  std::vector<MemberRecord> three = {member("A", {}), member("B", {}), member("C", {})};
  openMembers(three);
  doc.selectMember(2);
  openMembers(three, "q.KRO");
  EXPECT_EQ(doc.currentMember(), 2);
  EXPECT_EQ(doc.currentMemberRecord()->code(), "C");
  openMembers({member("A", {})}, "r.KRO");
  EXPECT_EQ(doc.currentMemberRecord(), nullptr);
}

TEST_F(DocumentTest, FailedOpenLeavesTheDocumentUnchanged) {
  openMembers(makeSampleProject());
  const auto before = doc.members();
  const auto path = doc.path();

  test::Bytes damaged;
  damaged.i32(0, 3).resize(100);
  test::writeBytes(dir / "bad.KRO", damaged.str());
  EXPECT_FALSE(doc.open(dir / "bad.KRO"));
  EXPECT_FALSE(doc.open(dir / "missing.KRO"));
  test::writeBytes(dir / "tiny.KRO", "ab");
  EXPECT_FALSE(doc.open(dir / "tiny.KRO"));

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
  EXPECT_FALSE(doc.open(dir / "sel.DEX"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find("保存选择构件"), std::string::npos);
  EXPECT_EQ(doc.memberCount(), 12);
}

TEST_F(DocumentTest, RawMembersShowComputedFiguresAndTheStoredRate) {
  test::Bytes index;
  index.i16(0, 1).text(2, "A001").resize(12);
  test::Bytes data(74);
  data.text(0, "A001").i16(32, 120).i16(38, 3).i16(74, 118).i16(76, 125).i16(78, 131);
  test::writeBytes(dir / "P.DEX", index.str());
  test::writeBytes(dir / "A001.DAT", data.str());
  ASSERT_TRUE(doc.open(dir / "P.DEX"));
  const MemberRecord* m = doc.currentMemberRecord();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->passCount(), 2);
  EXPECT_EQ(m->maxThickness(), 131);
  EXPECT_EQ(m->minThickness(), 118);
  EXPECT_EQ(formatRate(m->passRate()), "0.0%");
  EXPECT_EQ(doc.totalPassCount(), 2);
  EXPECT_EQ(formatRate(doc.overallPassRate()), "66.7%");
  doc.setPlusDeviation(11);
  EXPECT_EQ(formatRate(doc.currentMemberRecord()->passRate()), "100.0%");
}

TEST_F(DocumentTest, AppendToEmptyDocument) {
  doc.appendMember();
  ASSERT_EQ(doc.memberCount(), 1);
  EXPECT_EQ(doc.currentMember(), 0);
  const MemberRecord* m = doc.currentMemberRecord();
  EXPECT_EQ(m->code(), "0001");
  EXPECT_EQ(m->readingCount(), 20);
  EXPECT_EQ(m->readingAt(19), 20);
  EXPECT_EQ(formatRate(m->passRate()), "100.0%");
  EXPECT_EQ(m->testDate(), "2026--12--07");
  EXPECT_TRUE(doc.isModified());
  EXPECT_EQ(ui.calls,
            (Calls{"refillGrid", "redrawChart", "showMember 0001", "rebuildMemberList", "showMember 0001"}));
}

TEST_F(DocumentTest, AppendGoesAfterTheLastMember) {
  openMembers({member("A", {}), member("B", {}), member("C", {})});
  doc.selectMember(0);
  doc.appendMember();
  EXPECT_EQ(doc.memberCount(), 4);
  EXPECT_EQ(doc.currentMember(), 3);
  EXPECT_EQ(doc.memberAt(3)->code(), "0004");
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

  doc.deleteCurrentMember();  // the last one: the one before becomes current
  EXPECT_EQ(doc.currentMemberRecord()->code(), "A");
  doc.deleteCurrentMember();
  EXPECT_EQ(doc.memberCount(), 0);
  EXPECT_EQ(doc.currentMember(), -1);
  EXPECT_EQ(ui.calls.back(), "redrawChart");
  EXPECT_EQ(ui.calls[ui.calls.size() - 3], "showMember none");

  ui.clear();
  doc.deleteCurrentMember();  // nothing current: nothing happens
  EXPECT_TRUE(ui.calls.empty());
}

TEST_F(DocumentTest, DeletionCanBeUndone) {
  MemberRecord b = member("B", {118, 130});
  MemberData withSpare = b.data();
  withSpare.readings[0].spare = 42;
  openMembers({member("A", {}), MemberRecord(withSpare), member("C", {1})});
  doc.selectMember(1);
  doc.deleteCurrentMember();
  EXPECT_TRUE(doc.canUndoDelete());
  EXPECT_TRUE(doc.undoDeleteMember());
  EXPECT_FALSE(doc.canUndoDelete());
  ASSERT_EQ(doc.memberCount(), 3);
  EXPECT_EQ(doc.currentMember(), 1);
  EXPECT_EQ(doc.memberAt(1)->code(), "B");
  EXPECT_EQ(doc.memberAt(1)->readings(), withSpare.readings);
  // Other members keep every field of their readings across a deletion.
  EXPECT_EQ(doc.memberAt(2)->readings()[0], (Reading{0, 1, 0}));
  EXPECT_FALSE(doc.undoDeleteMember());
}

TEST_F(DocumentTest, GridEditOfAThicknessMember) {
  openMembers({member("0001", {120, 120, 120, 120})});
  doc.selectMember(0);
  doc.computeOverallRate();
  ui.clear();
  doc.setCellValue(2, 1, 100);
  const MemberRecord* m = doc.currentMemberRecord();
  EXPECT_EQ(m->readingAt(2), 100);
  EXPECT_EQ(m->passCount(), 3);
  EXPECT_FLOAT_EQ(m->passRate(), 0.75f);
  EXPECT_EQ(m->minThickness(), 100);
  EXPECT_EQ(doc.totalPassCount(), 3);
  // The overall rate waits for the next member-list or panel refresh.
  EXPECT_FLOAT_EQ(doc.overallPassRate(), 1.0f);
  EXPECT_EQ(ui.calls, (Calls{"refillGrid", "redrawChart"}));
  doc.refreshMemberList();
  EXPECT_FLOAT_EQ(doc.overallPassRate(), 0.75f);
  EXPECT_TRUE(doc.isModified());
}

TEST_F(DocumentTest, GridThicknessColumnSetsTheThicknessForEveryKind) {
  MemberRecord grid = member("W001", {1, 2, 3, 4});
  MemberData g = grid.data();
  g.secondColumnStart = 2;
  openMembers({member("P001", {1, 2}), MemberRecord(g)});
  doc.selectMember(0);
  doc.setCellValue(1, 1, 50);
  EXPECT_EQ(doc.currentMemberRecord()->readingAt(1), 50);
  EXPECT_EQ(doc.currentMemberRecord()->readings()[1].auxValue, 0);
  doc.setCellValue(0, 4, 77);  // nothing for a profile member
  EXPECT_EQ(doc.currentMemberRecord()->readingAt(0), 1);

  doc.selectMember(1);
  doc.setCellValue(0, 1, 60);
  doc.setCellValue(0, 4, 70);  // auxValue of row 0 + secondColumnStart
  doc.setCellValue(1, 5, 80);  // thickness of row 1 + secondColumnStart
  doc.setCellValue(1, 3, 90);  // nothing
  const MemberRecord* m = doc.currentMemberRecord();
  EXPECT_EQ(m->readingAt(0), 60);
  EXPECT_EQ(m->readings()[2].auxValue, 70);
  EXPECT_EQ(m->readingAt(3), 80);
  EXPECT_EQ(m->readingAt(1), 2);
  // An offset row beyond the readings changes nothing.
  doc.setCellValue(2, 5, 99);
  EXPECT_EQ(m->readingCount(), 4);
}

TEST_F(DocumentTest, ToleranceEditUpdatesTotalsButNotTheOverallRate) {
  openMembers({member("A", {115, 129}), member("B", {120})});
  doc.selectMember(0);
  EXPECT_EQ(doc.totalPassCount(), 2);
  const float before = doc.overallPassRate();
  ui.clear();
  doc.setPlusDeviation(9);
  EXPECT_EQ(doc.totalPassCount(), 3);
  EXPECT_EQ(doc.overallPassRate(), before);
  EXPECT_EQ(ui.calls, (Calls{"refillGrid", "redrawChart"}));
  doc.showCurrentMember();
  EXPECT_FLOAT_EQ(doc.overallPassRate(), 1.0f);
}

TEST_F(DocumentTest, StoredRateIsShownUntilAnEdit) {
  MemberData d = member("A", {120, 200}).data();
  d.passRate = 0.3f;
  openMembers({MemberRecord(d)});
  doc.showCurrentMember();
  EXPECT_EQ(doc.currentMemberRecord()->passRate(), 0.3f);
  doc.insertReadingBefore(0);  // row edits do not recompute either
  EXPECT_EQ(doc.currentMemberRecord()->passRate(), 0.3f);
  doc.setDesignThickness(121);
  EXPECT_FLOAT_EQ(doc.currentMemberRecord()->passRate(), 1.0f / 3.0f);
}

TEST_F(DocumentTest, ReadingRowsRefreshTheCountCell) {
  openMembers({member("A", {}), member("B", {1, 2})});
  doc.selectMember(1);
  ui.clear();
  doc.insertReadingAfter(1);
  EXPECT_EQ(ui.calls, (Calls{"refillGrid", "redrawChart", "updateCountCell 1"}));
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 3);
  doc.deleteReading(0);
  doc.deleteReading(0);
  doc.deleteReading(0);
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 0);
  ui.clear();
  doc.deleteReading(0);  // no readings: not even the refreshes
  EXPECT_TRUE(ui.calls.empty());
  doc.insertReadingBefore(5);  // out of range: only the refreshes
  EXPECT_EQ(ui.calls.size(), 3u);
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 0);
}

TEST_F(DocumentTest, PanelEdits) {
  openMembers({member("A", {120})});
  doc.selectMember(0);
  ui.clear();
  doc.setMemberName("\xD6\xD0\xCE\xC4");
  EXPECT_TRUE(ui.calls.empty());
  EXPECT_TRUE(doc.isModified());
  doc.setTestDate("2026\xC4\xEA 1\xD4\xC2 7\xC8\xD5");
  EXPECT_EQ(ui.calls, (Calls{"rebuildMemberList"}));
  EXPECT_EQ(doc.currentMemberRecord()->testDate(), "2026\xC4\xEA 1\xD4\xC2 7\xC8\xD5");
  // Typing 5 without a sign into the minus deviation moves the lower limit above the design.
  doc.setMinusDeviation(5);
  EXPECT_EQ(doc.currentMemberRecord()->lowerLimit(), 125);
  EXPECT_EQ(doc.currentMemberRecord()->passCount(), 0);
}

TEST_F(DocumentTest, EditsWithoutACurrentMemberDoNothing) {
  doc.setMemberName("x");
  doc.setDesignThickness(5);
  doc.setCellValue(0, 1, 5);
  doc.insertReadingBefore(0);
  doc.selectMember(0);
  EXPECT_TRUE(ui.calls.empty());
  EXPECT_FALSE(doc.isModified());
}

TEST_F(DocumentTest, CurrentReading) {
  doc.setCurrentReading(3, false, true);
  EXPECT_EQ(doc.currentReading(), 3);
  EXPECT_EQ(ui.calls, (Calls{"redrawChart"}));
  doc.setCurrentReading(-1, true, true);
  EXPECT_EQ(doc.currentReading(), 3);
}

TEST_F(DocumentTest, TotalsOfAnEmptyDocument) {
  EXPECT_EQ(doc.sumReadingCounts(), 0);
  EXPECT_EQ(doc.sumPassCounts(), 0);
  EXPECT_EQ(formatRate(doc.computeOverallRate()), "0.0%");
}

TEST_F(DocumentTest, SaveWritesTheOwnAnalysisFileWithTheChecksOnScreen) {
  openMembers({member("A", {120}), member("B", {})});
  doc.setMemberName("n");
  ui.checks = {{0, false}, {1, true}};
  ASSERT_TRUE(doc.save());
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_FALSE(doc.isModified());
  auto back = decodeAnalysisFile(test::readBytes(dir / "p.KRO"));
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.value(), doc.members());
  EXPECT_EQ(back.value()[0].selected(), 0);
  EXPECT_EQ(back.value()[0].name(), "n");
}

TEST_F(DocumentTest, SaveOfARawFileAsksForAName) {
  test::Bytes index;
  index.i16(0, 0);
  test::writeBytes(dir / "P.DEX", index.str());
  ASSERT_TRUE(doc.open(dir / "P.DEX"));
  doc.appendMember();

  ui.pathAnswers = {std::nullopt};
  EXPECT_FALSE(doc.save());  // cancelled
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].filter, "楼板仪数据文件(*.KRO)|*.KRO|");
  EXPECT_EQ(ui.dialogs[0].defaultExtension, "KRO");
  EXPECT_EQ(ui.dialogs[0].proposedName, "楼板仪数据文件.KRO");
  EXPECT_EQ(test::readBytes(dir / "P.DEX"), index.str());
  EXPECT_TRUE(doc.isModified());

  ui.pathAnswers = {dir / "out.KRO"};
  EXPECT_TRUE(doc.save());
  EXPECT_EQ(doc.path(), dir / "out.KRO");
  EXPECT_EQ(doc.title(), "out.KRO");
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "out.KRO")).value().size(), 1u);
  // From now on the document saves to its own file without asking.
  ui.dialogs.clear();
  EXPECT_TRUE(doc.save());
  EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(DocumentTest, FailedSaveIsReportedAndKeepsTheOldFile) {
  openMembers({member("A", {120})});
  const std::string before = test::readBytes(dir / "p.KRO");
  doc.setMemberName("changed");
  // Replace the target by a folder so the rename must fail.
  ui.pathAnswers = {dir / "sub"};
  std::filesystem::create_directories(dir / "sub");
  EXPECT_FALSE(doc.saveAnalysisFileAs());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, MessageKind::Error);
  EXPECT_TRUE(doc.isModified());
  EXPECT_EQ(doc.path(), dir / "p.KRO");
  EXPECT_EQ(test::readBytes(dir / "p.KRO"), before);
}

TEST_F(DocumentTest, SelectionExportCollectsChecksAndRefusesAnAnalysisName) {
  openMembers({member("A", {120}), member("B", {})});
  ui.checks = {{0, true}, {1, false}};
  ui.pathAnswers = {dir / "sel.DEX"};
  ASSERT_TRUE(doc.saveSelection());
  EXPECT_EQ(ui.dialogs[0].filter, "楼板仪数据文件(*.DEX)||");
  EXPECT_EQ(ui.dialogs[0].defaultExtension, "DEX");
  EXPECT_EQ(ui.dialogs[0].proposedName, "");
  const std::string bytes = test::readBytes(dir / "sel.DEX");
  EXPECT_EQ(bytes.size(), 4u + 170 + 12 + 170);
  EXPECT_EQ(bytes[4 + 170 + 12 + 125], 0);  // the second member's flag as checked on screen
  EXPECT_EQ(doc.path(), dir / "p.KRO");     // the document stays with its own file

  ui.pathAnswers = {dir / "sel.KRO"};
  EXPECT_FALSE(doc.saveSelection());
  EXPECT_FALSE(std::filesystem::exists(dir / "sel.KRO"));
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(DocumentTest, SaveModifiedAsksOnlyWhenThereAreChanges) {
  openMembers({member("A", {120})});
  EXPECT_TRUE(doc.saveModified());
  EXPECT_TRUE(ui.questions.empty());

  doc.setDesignThickness(100);
  ui.saveAnswers = {SaveChoice::Cancel, SaveChoice::Discard, SaveChoice::Save};
  EXPECT_FALSE(doc.saveModified());
  EXPECT_TRUE(doc.saveModified());
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(doc.saveModified());
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(ui.questions.size(), 3u);
  EXPECT_NE(ui.questions[0].find("p.KRO"), std::string::npos);
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "p.KRO")).value()[0].designThickness(), 100);
}

TEST_F(DocumentTest, CollectChecksMarksChangesOnly) {
  openMembers({member("A", {}), member("B", {})});
  ui.checks = {{0, true}, {1, true}};
  doc.collectChecks();
  EXPECT_FALSE(doc.isModified());
  ui.checks[1] = false;
  doc.collectChecks();
  EXPECT_TRUE(doc.isModified());
  EXPECT_EQ(doc.memberAt(1)->selected(), 0);
}

TEST_F(DocumentTest, NewDocumentStepKeepsMembers) {
  openMembers({member("A", {})});
  doc.newDocument();
  EXPECT_TRUE(doc.path().empty());
  EXPECT_EQ(doc.title(), "楼板仪数据文件");
  EXPECT_EQ(doc.memberCount(), 1);
}

TEST_F(DocumentTest, ReportParametersComeFromTheSettingsFolder) {
  test::writeBytes(dir / "report1ini.ini", "[Data]\r\n\xB9\xA4\xB3\xCC\xC3\xFB\xB3\xC6=  P1  \r\n");
  test::writeBytes(dir / "reportini.ini", "[Data]\r\n\xB1\xA8\xB8\xE6\xB8\xF1\xCA\xBD=3\r\n");
  EXPECT_EQ(doc.reportParameter("工程名称", 1), "P1");
  EXPECT_EQ(doc.reportParameter("工程名称", 2), "");
  EXPECT_EQ(doc.chosenReportFormat(), 3);
}

}  // namespace
}  // namespace kro
