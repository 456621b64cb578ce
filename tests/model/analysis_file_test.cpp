// The analysis layout and the selection export, against fixtures placed by their offset tables.
#include "model/analysis_file.h"

#include <gtest/gtest.h>

#include "model/project_blocks.h"
#include "model/sample_project.h"
#include "support/bytes.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

using test::Bytes;

// Places one analysis-layout member block at base, field by field from the offset table.
void putMember(Bytes& b, std::size_t base, const std::string& code, const std::string& name,
               const std::string& date, std::uint8_t selected, std::int32_t first, float rate,
               const std::vector<Reading>& readings, std::size_t codeField = 10) {
  const std::size_t shift = 10 - codeField;  // the selection export's fields sit 5 lower
  b.text(base + 0, code);
  b.text(base + 10 - shift, name);
  b.text(base + 110 - shift, date);
  b.u8(base + 130 - shift, selected);
  // averageThickness, designThickness, minusDeviation, plusDeviation, readingCount,
  // secondColumnStart, reserved, maxThickness, minThickness, passCount.
  const std::int32_t values[] = {
      first,     first + 1, -5,        8,         static_cast<std::int32_t>(readings.size()),
      first + 2, first + 3, first + 4, first + 5, first + 6};
  const std::size_t offsets[] = {131, 135, 139, 143, 147, 151, 155, 159, 163, 167};
  for (std::size_t i = 0; i < 10; ++i) b.i32(base + offsets[i] - shift, values[i]);
  b.f32(base + 171 - shift, rate);
  for (std::size_t k = 0; k < readings.size(); ++k) {
    b.i32(base + 175 - shift + 12 * k + 0, readings[k].auxValue);
    b.i32(base + 175 - shift + 12 * k + 4, readings[k].thickness);
    b.i32(base + 175 - shift + 12 * k + 8, readings[k].spare);
  }
}

TEST(AnalysisFile, ReadsAFixtureBuiltFromTheOffsetTable) {
  Bytes b;
  b.i32(0, 2);
  // The first block: 2 readings, 175 + 24 bytes.
  putMember(b, 4, "A001", "\xD6\xD0\xCE\xC4",
            "2008\xC4\xEA"
            "05\xD4\xC2"
            "12\xC8\xD5",
            0, 100, 0.5f, {{1, 118, 2}, {3, 131, 4}});
  putMember(b, 4 + 199, "W002", "", "2026--12--07", 1, 200, 1.0f, {});
  b.resize(4 + 199 + 175);

  auto members = decodeAnalysisFile(b.str());
  ASSERT_TRUE(members.ok()) << members.message();
  ASSERT_EQ(members.value().size(), 2u);
  const MemberRecord& a = members.value()[0];
  EXPECT_EQ(a.code(), "A001");
  EXPECT_EQ(a.name(), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(a.testDate().size(), 14u);
  EXPECT_EQ(a.selected(), 0);
  EXPECT_EQ(a.averageThickness(), 100);
  EXPECT_EQ(a.designThickness(), 101);
  EXPECT_EQ(a.minusDeviation(), -5);
  EXPECT_EQ(a.plusDeviation(), 8);
  EXPECT_EQ(a.readingCount(), 2);
  EXPECT_EQ(a.secondColumnStart(), 102);
  EXPECT_EQ(a.reserved(), 103);
  EXPECT_EQ(a.maxThickness(), 104);
  EXPECT_EQ(a.minThickness(), 105);
  EXPECT_EQ(a.passCount(), 106);
  EXPECT_EQ(a.passRate(), 0.5f);
  EXPECT_EQ(a.readings()[1], (Reading{3, 131, 4}));
  EXPECT_EQ(members.value()[1].code(), "W002");
  EXPECT_EQ(members.value()[1].selected(), 1);
  EXPECT_EQ(members.value()[1].readingCount(), 0);
}

TEST(AnalysisFile, WriterPlacesFieldsAtTheirOffsets) {
  MemberData d;
  d.code = "A001";
  d.testDate = "2026--12--07";
  d.selected = 0;
  d.minusDeviation = -5;
  d.passRate = 0.75f;
  d.readings = {{1, 118, 2}, {3, 131, 4}};
  const std::string bytes = encodeMembers({MemberRecord(d)}, MemberLayout::Analysis);
  // One member with two readings makes 203 bytes.
  ASSERT_EQ(bytes.size(), 203u);
  Bytes expected;
  expected.i32(0, 1);
  putMember(expected, 4, "A001", "", "2026--12--07", 0, 0, 0.75f, d.readings);
  // putMember fills the numeric fields from a base value; set the ones this member has.
  expected.i32(4 + 131, 0).i32(4 + 135, 0).i32(4 + 151, 0).i32(4 + 155, 0);
  expected.i32(4 + 159, 0).i32(4 + 163, 0).i32(4 + 167, 0);
  EXPECT_EQ(bytes, expected.str());
  // minusDeviation -5 is FB FF FF FF.
  EXPECT_EQ(bytes.substr(4 + 139, 4), "\xFB\xFF\xFF\xFF");
  EXPECT_EQ(static_cast<unsigned char>(bytes[4 + 130]), 0u);
}

TEST(AnalysisFile, EmptyDocumentIsFourZeroBytes) {
  const std::string bytes = encodeMembers({}, MemberLayout::Analysis);
  EXPECT_EQ(bytes, std::string(4, '\0'));
  auto members = decodeAnalysisFile(bytes);
  ASSERT_TRUE(members.ok());
  EXPECT_TRUE(members.value().empty());
}

TEST(AnalysisFile, RoundTripKeepsEveryField) {
  std::vector<MemberRecord> members = makeSampleProject();
  MemberData odd = members[0].data();
  odd.selected = 0;
  odd.passRate = 0.123456789f;
  odd.reserved = -77;
  odd.readings.push_back({INT32_MIN, INT32_MAX, -1});
  members.push_back(MemberRecord(odd));
  members.push_back(MemberRecord());

  const std::string bytes = encodeMembers(members, MemberLayout::Analysis);
  auto back = decodeAnalysisFile(bytes);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.value(), members);
  EXPECT_EQ(encodeMembers(back.value(), MemberLayout::Analysis), bytes);
}

TEST(AnalysisFile, DamagedFilesAreRefused) {
  EXPECT_FALSE(decodeAnalysisFile("").ok());
  EXPECT_FALSE(decodeAnalysisFile("\x01\x00\x00").ok());

  Bytes negative;
  negative.i32(0, -1);
  EXPECT_FALSE(decodeAnalysisFile(negative.str()).ok());

  // Two members stated, one present.
  Bytes shortFile;
  shortFile.i32(0, 2);
  putMember(shortFile, 4, "A001", "", "", 1, 0, 0.0f, {});
  EXPECT_FALSE(decodeAnalysisFile(shortFile.str()).ok());

  // A reading count beyond the end of the file.
  Bytes readings;
  readings.i32(0, 1);
  putMember(readings, 4, "A001", "", "", 1, 0, 0.0f, {{0, 1, 0}, {0, 2, 0}});
  readings.resize(readings.size() - 1);
  auto refused = decodeAnalysisFile(readings.str());
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("第 1 个构件"), std::string::npos);

  // A negative reading count.
  Bytes negativeReadings;
  negativeReadings.i32(0, 1);
  putMember(negativeReadings, 4, "A001", "", "", 1, 0, 0.0f, {});
  negativeReadings.i32(4 + 147, -3);
  EXPECT_FALSE(decodeAnalysisFile(negativeReadings.str()).ok());

  // A huge count in a small file is refused without trying to allocate for it.
  Bytes huge;
  huge.i32(0, 0x7FFFFFFF);
  EXPECT_FALSE(decodeAnalysisFile(huge.str()).ok());
}

TEST(AnalysisFile, BytesAfterTheLastMemberAreIgnored) {
  std::string bytes = encodeMembers(makeSampleProject(), MemberLayout::Analysis) + "trailing";
  auto members = decodeAnalysisFile(bytes);
  ASSERT_TRUE(members.ok());
  EXPECT_EQ(members.value().size(), 12u);
}

TEST(AnalysisFile, TextsFillingTheirWholeFieldAreKeptAndWrittenBackAsTheyWere) {
  Bytes b;
  b.i32(0, 1);
  putMember(b, 4, "0123456789", std::string(100, 'n'), "01234567890123456789", 1, 0, 0.0f, {});
  auto members = decodeAnalysisFile(b.str());
  ASSERT_TRUE(members.ok());
  EXPECT_EQ(members.value()[0].code(), "0123456789");
  EXPECT_EQ(members.value()[0].name(), std::string(100, 'n'));
  EXPECT_EQ(members.value()[0].testDate(), "01234567890123456789");
  EXPECT_TRUE(encodeMembers(members.value(), MemberLayout::Analysis) == b.str());
  // Longer texts (from elsewhere) are cut so that a NUL ends them, never inside a character.
  MemberData d;
  d.name = std::string(99, 'x') + "\xD6\xD0";
  const std::string out = encodeMembers({MemberRecord(d)}, MemberLayout::Analysis);
  EXPECT_EQ(out.substr(4 + 10, 100), std::string(99, 'x') + '\0');
}

TEST(AnalysisFile, ReadAndWrittenAgainEveryByteTheReaderKeepsComesBack) {
  // Bytes after a text's NUL are not kept; everything else is.
  Bytes b;
  b.i32(0, 2);
  putMember(b, 4, "A1", "\xB0\xE5", "2008", 7, 123, 0.37f, {{1, 2, 3}, {-4, 5, -6}});
  putMember(b, 4 + 175 + 24, "W2", "", "", 255, -9, 2.5f, {});
  auto members = decodeAnalysisFile(b.str());
  ASSERT_TRUE(members.ok());
  EXPECT_TRUE(encodeMembers(members.value(), MemberLayout::Analysis) == b.str());
}

// The project's parameters after the last member: byte for byte as laid out, read back, kept
// when damaged or newer, and never in the selection export.
TEST(ParameterBlock, LayoutRoundTripAndWhatReadersOfThePlainLayoutSee) {
  Project project;
  project.members = makeSampleProject();
  project.parameters.stored = true;
  project.parameters.values = {{"\xB9\xA4", "\xD2\xBB"}, {"R", ""}};
  const std::string members = encodeMembers(project.members, MemberLayout::Analysis);
  const std::string file = encodeProjectFile(project);
  // Tag, version 2, a length of 4 + (2 + 2 + 4 + 2) + (2 + 1 + 4 + 0) = 21, then the pairs.
  EXPECT_EQ(file.substr(0, members.size()), members);
  EXPECT_EQ(file.substr(members.size()), std::string("KROPARAM\x02\x00\x15\x00\x00\x00"
                                                     "\x02\x00\x00\x00"
                                                     "\x02\x00\xB9\xA4\x02\x00\x00\x00\xD2\xBB"
                                                     "\x01\x00R\x00\x00\x00\x00",
                                                     14 + 21));
  std::vector<std::string> warnings;
  auto back = decodeProjectFile(file, warnings);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.value(), project);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(encodeProjectFile(back.value()), file);
  // A reader of the plain layout stops after the members.
  EXPECT_EQ(decodeAnalysisFile(file).value(), project.members);
  EXPECT_TRUE(encodeMembers(project.members, MemberLayout::Selection).find("KROPARAM") == std::string::npos);
  // A project without parameters writes the plain layout only.
  EXPECT_EQ(encodeProjectFile(Project{project.members, {}}), members);
  // A version 1 block is written back as version 1 while it holds no judging rule, so that
  // programs that know only version 1 still read it; with a rule it becomes version 2.
  std::string older = file;
  older[members.size() + 8] = 1;
  auto read = decodeProjectFile(older, warnings);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(encodeProjectFile(read.value()), older);
  read.value().parameters.values.emplace_back("\xC5\xD0\xB6\xA8\xB9\xE6\xD4\xF2", "x");  // 判定规则
  EXPECT_EQ(encodeProjectFile(read.value())[members.size() + 8], 2);
}

TEST(ParameterBlock, DamagedOrNewerBlocksAreKeptAsTheyAreWithAWarning) {
  const std::string members = encodeMembers(makeSampleProject(), MemberLayout::Analysis);
  const std::string cases[] = {
      std::string("KROPARAM\x01\x00\x40\x00\x00\x00\x01\x00", 16),              // longer than the file
      std::string("KROPARAM\x01\x00\x05\x00\x00\x00\x01\x00\x00\x00\x07", 19),  // a pair cut short
      std::string("KROPARAM\x03\x00\x02\x00\x00\x00zz", 16),                    // a newer version
      std::string("KROPARAM\x01", 9),                                           // a header cut short
  };
  for (const std::string& block : cases) {
    std::vector<std::string> warnings;
    auto read = decodeProjectFile(members + block, warnings);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value().members.size(), 12u);
    EXPECT_FALSE(read.value().parameters.stored);
    EXPECT_TRUE(read.value().parameters.values.empty());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("已原样保留"), std::string::npos);
    // Written back unchanged while the user sets nothing.
    EXPECT_EQ(encodeProjectFile(read.value()), members + block);
  }
  std::vector<std::string> warnings;
  ASSERT_TRUE(decodeProjectFile(members + cases[2], warnings).ok());
  EXPECT_NE(warnings[0].find("版本 3"), std::string::npos);
  // Bytes that form no block are kept too, and named.
  warnings.clear();
  auto trailing = decodeProjectFile(members + "trailing", warnings);
  EXPECT_FALSE(trailing.value().parameters.stored);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("8 个字节不属于任何数据块"), std::string::npos);
  EXPECT_EQ(encodeProjectFile(trailing.value()), members + "trailing");
}

// Blocks this version does not know, or of a newer version, are kept byte for byte in their
// order behind the ones it writes, named in one warning, also when the parameters change.
TEST(ProjectBlocks, UnknownAndNewerBlocksSurviveEveryWrite) {
  const std::string members = encodeMembers(makeSampleProject(), MemberLayout::Analysis);
  ProjectParameters parameters{{{"R", "1"}}, true};
  const std::string ours = encodeParametersBlock(parameters);
  const std::string unknown = std::string(
      "KROXTEST\x01\x00\x03\x00\x00\x00"
      "abc",
      17);
  const std::string later = std::string("KROZZZZZ\x07\x00\x00\x00\x00\x00", 14);
  std::vector<std::string> warnings;
  auto read = decodeProjectFile(members + ours + unknown + later, warnings);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.value().parameters, parameters);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("KROXTEST（版本 1）、数据块 KROZZZZZ（版本 7）"), std::string::npos)
      << warnings[0];
  EXPECT_EQ(warnings[0].find("默认参数"), std::string::npos);  // the parameters were read
  EXPECT_EQ(encodeProjectFile(read.value()), members + ours + unknown + later);
  // The parameters set anew: still first, the kept blocks after them as they were.
  Project changed = read.value();
  changed.parameters.values[0].second = "2";
  EXPECT_EQ(encodeProjectFile(changed),
            members + encodeParametersBlock(changed.parameters) + unknown + later);
  // Kept blocks before the parameters (as another version may order them) move behind them.
  warnings.clear();
  auto reordered = decodeProjectFile(members + unknown + ours, warnings);
  ASSERT_TRUE(reordered.ok());
  EXPECT_EQ(reordered.value().parameters, parameters);
  EXPECT_EQ(encodeProjectFile(reordered.value()), members + ours + unknown);
  // A second parameters block is damaged, kept after the first.
  warnings.clear();
  auto twice = decodeProjectFile(members + ours + ours, warnings);
  ASSERT_TRUE(twice.ok());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("重复"), std::string::npos);
  EXPECT_EQ(encodeProjectFile(twice.value()), members + ours + ours);
}

TEST(SelectionExport, LayoutHasAFiveByteCode) {
  std::vector<MemberRecord> members = makeSampleProject();
  const std::string analysis = encodeMembers(members, MemberLayout::Analysis);
  const std::string selection = encodeMembers(members, MemberLayout::Selection);
  EXPECT_EQ(analysis.size() - selection.size(), 5 * members.size());

  MemberData d;
  d.code = "AB12";
  d.name = "N";
  d.selected = 0;
  d.designThickness = 120;
  d.passRate = 0.5f;
  d.readings = {{9, 118, 7}};
  const std::string bytes = encodeMembers({MemberRecord(d)}, MemberLayout::Selection);
  Bytes expected;
  expected.i32(0, 1);
  putMember(expected, 4, "AB12", "N", "", 0, 0, 0.5f, d.readings, 5);
  expected.i32(4 + 126, 0).i32(4 + 130, 120).i32(4 + 146, 0).i32(4 + 150, 0);
  expected.i32(4 + 154, 0).i32(4 + 158, 0).i32(4 + 162, 0);
  EXPECT_EQ(bytes, expected.str());
  EXPECT_EQ(bytes.size(), 4u + 170 + 12);
}

TEST(SelectionExport, LongCodesAreCutToFourBytesWithTheirNul) {
  MemberData d;
  d.code = "ABCDEFG";
  const std::string bytes = encodeMembers({MemberRecord(d)}, MemberLayout::Selection);
  EXPECT_EQ(bytes.substr(4, 5), std::string("ABCD\0", 5));
  d.code = "A\xD6\xD0\xD6\xD0";  // a two-byte character may not be split at byte 4
  EXPECT_EQ(encodeMembers({MemberRecord(d)}, MemberLayout::Selection).substr(4, 5),
            std::string("A\xD6\xD0\0\0", 5));
}

TEST(SelectionExport, IsRecognised) {
  const std::vector<MemberRecord> members = makeSampleProject();
  EXPECT_TRUE(isSelectionExport(encodeMembers(members, MemberLayout::Selection)));
  EXPECT_FALSE(isSelectionExport(encodeMembers(members, MemberLayout::Analysis)));
  EXPECT_FALSE(isSelectionExport(encodeMembers(members, MemberLayout::Selection) + "x"));
  // An index file: a 16-bit count, then codes.
  Bytes index;
  index.i16(0, 2).text(2, "0001").text(12, "0002");
  EXPECT_FALSE(isSelectionExport(index.str()));
}

TEST(AnalysisFile, WriteReplacesTheFileOnlyWhenComplete) {
  test::TempDir dir;
  const auto path = dir / "a.KRO";
  ASSERT_TRUE(writeAnalysisFile(path, makeSampleProject()).ok());
  const std::string before = test::readBytes(path);
  // A folder that does not exist: reported, nothing created.
  Status failed = writeAnalysisFile(dir / "missing" / "b.KRO", makeSampleProject());
  EXPECT_FALSE(failed.ok());
  EXPECT_NE(failed.message().find("b.KRO"), std::string::npos);
  EXPECT_EQ(test::readBytes(path), before);
  EXPECT_EQ(test::entryCount(dir.path()), 1);
}

}  // namespace
}  // namespace kro

namespace kro {
namespace {

// The members of a second sample are named in a block of their own, by position and code, and
// found again when the file is read; a mark that fits no member is named and dropped.
TEST(ProjectBlocks, SampleNumbersTravelWithTheFile) {
  Project project;
  project.members = makeSampleProject();
  for (int i : {3, 7}) {
    MemberData d = project.members[i].data();
    d.sample = 2;
    project.members[i] = MemberRecord(std::move(d));
  }
  const std::string file = encodeProjectFile(project);
  EXPECT_NE(file.find("KROSAMPL"), std::string::npos);
  std::vector<std::string> warnings;
  auto back = decodeProjectFile(file, warnings);
  ASSERT_TRUE(back.ok());
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(back.value().members, project.members);
  EXPECT_EQ(encodeProjectFile(back.value()), file);
  // A file whose members moved: found by their code; a code that is no longer there is named.
  std::vector<MemberRecord> moved = project.members;
  std::swap(moved[3], moved[4]);
  std::vector<SampleMark> marks = {{3, project.members[3].code(), 2}, {7, "NONE", 2}};
  std::vector<MemberRecord> target = moved;
  for (MemberRecord& m : target) {
    MemberData d = m.data();
    d.sample = 1;
    m = MemberRecord(std::move(d));
  }
  applySampleMarks(target, marks, warnings);
  EXPECT_EQ(target[4].sample(), 2);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("NONE"), std::string::npos);
  // Without a second sample there is no block.
  EXPECT_EQ(encodeProjectFile(Project{makeSampleProject(), {}}).find("KROSAMPL"), std::string::npos);
}

}  // namespace
}  // namespace kro
