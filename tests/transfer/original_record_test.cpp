// The project as its own original record: a transfer from the virtual instrument, corrections
// with reasons, the log they leave, and the check that finds what the log does not explain.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devices/simulated_ch375.h"
#include "model/analysis_file.h"
#include "model/document.h"
#include "model/gbk_text.h"
#include "model/project_blocks.h"
#include "model/record_replay.h"
#include "model/sample_project.h"
#include "support/bytes.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"
#include "transfer/transfer_session.h"

namespace kro {
namespace {

class OriginalRecordTest : public ::testing::Test {
 protected:
  // A USB transfer of the sample from the virtual instrument into file, its bytes kept beside it.
  void transfer(const std::filesystem::path& file, std::vector<MemberRecord> members = makeSampleProject()) {
    SimulatedCh375 instrument(usbMemoryFromImage(encodeUsbImage(members).value()));
    TransferSession session(nullptr, &instrument);
    session.setDestination(file);
    session.setRecorder(recorderNamed("张工"));
    ASSERT_EQ(session.start({LinkKind::Usb, 0, ""}, {}).state, TransferState::Running);
    for (int i = 0; i < 1000 && session.tick().state == TransferState::Running; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(session.state(), TransferState::Completed);
  }

  void open(const std::filesystem::path& file) {
    doc.setRecorder(recorderNamed("李工"));
    doc.setChangeGate([this](const ChangeRequest& request) -> std::optional<std::string> {
      requests.push_back(request);
      if (reasons.empty()) return std::nullopt;
      std::string why = reasons.front();
      reasons.erase(reasons.begin());
      return why;
    });
    ASSERT_TRUE(doc.open(file).done);
  }

  // The file with one reading set to another value, as a hex editor would leave it.
  static void editReading(const std::filesystem::path& file, int member, int reading, std::int32_t value) {
    const std::string bytes = test::readBytes(file);
    std::size_t end = 0;
    std::vector<MemberRecord> members = decodeAnalysisFile(bytes, &end).value();
    Reading r = members[static_cast<std::size_t>(member)].readings()[static_cast<std::size_t>(reading)];
    r.thickness = value;
    members[static_cast<std::size_t>(member)].setReading(reading, r);
    test::writeBytes(file, encodeMembers(members, MemberLayout::Analysis) + bytes.substr(end));
  }

  static std::vector<std::string> findings(const std::filesystem::path& file) {
    return replayRecord(loadProject(file).value().project, file).findings;
  }

  test::TempDir dir;
  CKroAnalyzeDoc doc;
  std::vector<ChangeRequest> requests;
  std::vector<std::string> reasons;
};

TEST_F(OriginalRecordTest, CorrectionsAreLoggedWithTheirReasonsAndTheReplayAgrees) {
  const auto file = dir / "t.KRO";
  transfer(file);
  open(file);
  ASSERT_EQ(doc.project().log.size(), 1u);  // begun by the transfer
  EXPECT_EQ(doc.project().sources.at(0).kind, ProjectSource::Kind::UsbTransfer);
  // A transferred reading needs a reason: refused without one, nothing changed.
  const std::int32_t first = doc.project().members[0].readingAt(0);
  ASSERT_TRUE(doc.setCellValue(0, 1, 150).ok());
  EXPECT_EQ(doc.project().members[0].readingAt(0), first);
  EXPECT_FALSE(doc.isModified());
  reasons = {"复测", "仪器读数错位"};
  ASSERT_TRUE(doc.setCellValue(0, 1, 150).ok());
  ASSERT_TRUE(doc.setCellValue(4, 1, 99).ok());
  ASSERT_TRUE(doc.insertReading(doc.currentMemberRecord()->readingCount(), 121).ok());  // typed: no reason
  EXPECT_EQ(requests.size(), 3u);
  EXPECT_TRUE(requests.back().reasonRequired);
  EXPECT_EQ(requests.back().reasonsUsed, (std::vector<std::string>{"复测"}));
  ASSERT_TRUE(doc.save().done);

  const Project saved = loadProject(file).value().project;
  ASSERT_EQ(saved.log.size(), 4u);
  const EntryTexts changed = entryTexts(saved.log[1]);
  EXPECT_EQ(changed.member, "0001");
  EXPECT_EQ(changed.reading, "1");
  EXPECT_EQ(changed.oldValue, std::to_string(first));
  EXPECT_EQ(changed.newValue, "150");
  EXPECT_EQ(changed.who, "李工");
  EXPECT_EQ(changed.why, "复测");
  EXPECT_EQ(entryTexts(saved.log[2]).why, "仪器读数错位");
  EXPECT_EQ(saved.log[3].change.kind, LogKind::ReadingAdded);
  EXPECT_EQ(saved.members[0].readings().back().origin, ReadingOrigin::Typed);
  EXPECT_EQ(saved.members[0].readings()[0].origin, ReadingOrigin::Transfer);

  const ReplayReport replay = replayRecord(saved, file);
  EXPECT_TRUE(replay.findings.empty()) << replay.findings.front();
  const OriginCounts counts = originCounts(saved.members, replay.corrected);
  EXPECT_EQ(counts.corrected, 2);
  EXPECT_EQ(counts.typed, 1);
  EXPECT_EQ(counts.transfer, 234);
  EXPECT_TRUE(replay.corrected[0][0]);
  EXPECT_FALSE(replay.corrected[0][1]);

  // kro convert and every save keep the log byte for byte.
  const std::string bytes = test::readBytes(file);
  std::vector<std::string> warnings;
  EXPECT_EQ(encodeProjectFile(decodeProjectFile(bytes, warnings).value()), bytes);
}

TEST_F(OriginalRecordTest, UndoBeforeSavingLeavesNoEntryAfterSavingItIsLogged) {
  const auto file = dir / "t.KRO";
  transfer(file);
  open(file);
  reasons = {"复测", "复测"};
  doc.setTicks({0, 1, 2}, TickAction::Untick);
  ASSERT_TRUE(doc.setCellValue(0, 1, 150).ok());
  doc.undo();
  ASSERT_TRUE(doc.save().done);
  ASSERT_EQ(doc.project().log.size(), 2u);  // the start and one entry for the three ticks
  EXPECT_EQ(doc.project().log[1].change.kind, LogKind::Ticks);
  doc.undo();  // the saved ticks back: that is a change of its own
  ASSERT_TRUE(doc.save().done);
  ASSERT_EQ(doc.project().log.size(), 3u);
  EXPECT_EQ(doc.project().log[2].change.kind, LogKind::Ticks);
  EXPECT_TRUE(findings(file).empty());
}

TEST_F(OriginalRecordTest, AnEditNobodyRecordedIsFound) {
  const auto file = dir / "t.KRO";
  transfer(file);
  open(file);
  reasons = {"复测"};
  ASSERT_TRUE(doc.setCellValue(0, 1, 150).ok());
  ASSERT_TRUE(doc.save().done);
  doc.newDocument();

  // A transferred reading changed behind the program's back.
  editReading(file, 2, 4, 77);
  EXPECT_EQ(findings(file),
            (std::vector<std::string>{"构件 0003 第 5 个测点与仪器数据不同，但没有修改记录"}));
  // The corrected reading changed again.
  editReading(file, 2, 4, makeSampleProject()[2].readingAt(4));
  editReading(file, 0, 0, 151);
  EXPECT_EQ(findings(file).size(), 1u);
  EXPECT_NE(findings(file)[0].find("构件 0001 第 1 个测点与第 2 条修改记录所记的不同"), std::string::npos);
  editReading(file, 0, 0, 150);
  EXPECT_TRUE(findings(file).empty());

  // The kept bytes changed, then gone.
  const auto kept = std::filesystem::directory_iterator(dir / pathFromUtf8("原始数据"))->path();
  std::filesystem::permissions(kept, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  test::writeBytes(kept, test::readBytes(kept) + "x");
  ASSERT_EQ(findings(file).size(), 1u);
  EXPECT_NE(findings(file)[0].find("已被改动"), std::string::npos);
  std::filesystem::remove(kept);
  ASSERT_EQ(findings(file).size(), 1u);
  EXPECT_NE(findings(file)[0].find("找不到"), std::string::npos);
}

TEST_F(OriginalRecordTest, ARemovedEntryDamagesTheLogUntilANewOneIsBegun) {
  const auto file = dir / "t.KRO";
  transfer(file);
  open(file);
  reasons = {"复测", "复测"};
  ASSERT_TRUE(doc.setCellValue(0, 1, 150).ok());
  ASSERT_TRUE(doc.setCellValue(1, 1, 151).ok());
  ASSERT_TRUE(doc.save().done);
  Project project = doc.project();
  doc.newDocument();
  project.log.erase(project.log.begin() + 1);
  test::writeBytes(file, encodeProjectFile(project));

  const auto loaded = loadProject(file);
  ASSERT_TRUE(loaded.ok());
  ASSERT_FALSE(loaded.value().warnings.empty());
  EXPECT_NE(loaded.value().warnings[0].find("第 2 条修改记录与前一条不相连"), std::string::npos);
  EXPECT_TRUE(loaded.value().project.logDamaged());
  open(file);
  EXPECT_TRUE(doc.logLocked());
  doc.setTicks({0}, TickAction::Untick);
  EXPECT_FALSE(doc.isModified());  // refused while the log is damaged

  doc.beginNewLog();
  doc.setTicks({0}, TickAction::Untick);
  ASSERT_TRUE(doc.save().done);
  const Project again = loadProject(file).value().project;
  EXPECT_FALSE(again.logDamaged());
  ASSERT_EQ(again.log.size(), 2u);
  EXPECT_EQ(again.log[0].change.kind, LogKind::NewSegment);
  ASSERT_NE(again.keptBlock(kLogTag), nullptr);  // the damaged log, byte for byte
  EXPECT_EQ(again.log[0].previous, sha256(again.keptBlock(kLogTag)->bytes));
  EXPECT_EQ(findings(file), (std::vector<std::string>{}));
}

TEST_F(OriginalRecordTest, AnAppendedTransferReplaysFromBothKeptFiles) {
  const auto file = dir / "t.KRO";
  transfer(file);
  std::vector<MemberRecord> second = makeSampleProject();
  second.resize(2);
  transfer(dir / "second.KRO", second);
  open(file);
  const Project other = loadProject(dir / "second.KRO").value().project;
  doc.appendMembers(withCodePrefix(other.members, "B-"), "second.KRO", [&] {
    ProjectSource s = other.sources.at(0);
    s.codePrefix = "B-";
    return s;
  }());
  ASSERT_TRUE(doc.save().done);
  const Project saved = loadProject(file).value().project;
  EXPECT_EQ(saved.sources.size(), 2u);
  EXPECT_EQ(saved.log.size(), 3u);  // the start, then one entry per appended member
  EXPECT_TRUE(findings(file).empty());
  editReading(file, 13, 3, 1);
  EXPECT_EQ(findings(file),
            (std::vector<std::string>{"构件 B-0002 第 4 个测点与仪器数据不同，但没有修改记录"}));
}

TEST_F(OriginalRecordTest, ASavedAppendUndoneKeepsTheSourceItsEntriesName) {
  const auto file = dir / "t.KRO";
  transfer(file);
  transfer(dir / "second.KRO", {makeSampleProject()[0]});
  open(file);
  const Project other = loadProject(dir / "second.KRO").value().project;
  ProjectSource source = other.sources.at(0);
  source.codePrefix = "B-";
  doc.appendMembers(withCodePrefix(other.members, "B-"), "second.KRO", source);
  ASSERT_TRUE(doc.save().done);
  doc.undo();  // the members go; their source stays named by the saved entry
  EXPECT_EQ(doc.memberCount(), 12);
  ASSERT_TRUE(doc.save().done);
  const Project undone = loadProject(file).value().project;
  EXPECT_EQ(undone.sources.size(), 2u);
  EXPECT_EQ(undone.log.size(), 3u);  // begun, the member added, removed again
  EXPECT_EQ(findings(file), std::vector<std::string>{});
}

}  // namespace
}  // namespace kro
