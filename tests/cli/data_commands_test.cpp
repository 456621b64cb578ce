// kro stats, export --csv and import, run in-process against hand-computed figures and
// hand-written files.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "export/csv_exchange.h"
#include "model/analysis_file.h"
#include "model/gbk_text.h"
#include "model/project.h"
#include "report/project_parameters.h"
#include "support/kro_command.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"

namespace kro {
namespace {

using test::CommandRun;
using test::kro;

class DataCommandsTest : public ::testing::Test {
 protected:
  // A project made from a CSV written by hand: A (design 120, -5/+8) 114 120 128 130, B
  // (design 100, -3/+5) 100 106, and C without readings; all ticked.
  std::string project(const std::string& config = {}) {
    test::writeBytes(dir / "p.csv", std::string(kCsvHeader) +
                                        "\r\n"
                                        "A,,,120,-5,8,1,114\r\nA,,,120,-5,8,2,120\r\n"
                                        "A,,,120,-5,8,3,128\r\nA,,,120,-5,8,4,130\r\n"
                                        "B,,,100,-3,5,1,100\r\nB,,,100,-3,5,2,106\r\n"
                                        "C,,,90,-5,8,,\r\n");
    std::vector<std::string> args = {"import", (dir / "p.csv").string(), "-o", (dir / "p.KRO").string()};
    if (!config.empty()) args.insert(args.end(), {"--config-dir", config});
    CommandRun imported = kro(args);
    EXPECT_EQ(imported.status, 0) << imported.err;
    return (dir / "p.KRO").string();
  }
  // The same members as a file of an earlier version: without any block after them.
  std::string bareProject() {
    const std::string members = test::readBytes(project());
    std::size_t end = 0;
    EXPECT_TRUE(decodeAnalysisFile(members, &end).ok());
    test::writeBytes(dir / "bare.KRO", members.substr(0, end));
    return (dir / "bare.KRO").string();
  }
  test::TempDir dir;
};

TEST_F(DataCommandsTest, StatsJsonMatchesFiguresComputedByHand) {
  CommandRun r = kro({"stats", project(), "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  const nlohmann::json& a = j["members"][0];
  EXPECT_EQ(a["code"], "A");
  EXPECT_EQ(a["readingCount"], 4);
  EXPECT_EQ(a["passCount"], 2);  // 120 and 128; 114 and 130 are outside 115..128
  EXPECT_DOUBLE_EQ(a["passRate"].get<double>(), 0.5);
  EXPECT_EQ(a["maxThickness"], 130);
  EXPECT_EQ(a["minThickness"], 114);
  EXPECT_DOUBLE_EQ(a["mean"].get<double>(), 123.0);
  // Squares: 81 + 9 + 25 + 49 = 164; sample deviation sqrt(164 / 3).
  EXPECT_NEAR(a["standardDeviation"].get<double>(), 7.393691004, 1e-9);
  const nlohmann::json& c = j["members"][2];
  EXPECT_EQ(c, (nlohmann::json{{"code", "C"}, {"readingCount", 0}, {"passCount", 0}}));

  // Totals over 114 120 128 130 100 106: 120, 128 and 100 pass (106 is outside 97..105).
  EXPECT_EQ(j["formatVersion"], 2);
  const nlohmann::json& t = j["totals"]["ticked"];
  EXPECT_EQ(t["readingCount"], 6);
  EXPECT_EQ(t["passCount"], 3);
  EXPECT_DOUBLE_EQ(t["passRate"].get<double>(), 0.5);
  EXPECT_DOUBLE_EQ(t["mean"].get<double>(), 116.33333333333333);
  // Sum of squares from 116.333...: 5.444 + 13.444 + 136.111 + 186.778 + 266.778 + 106.778 = 715.333.
  EXPECT_NEAR(t["standardDeviation"].get<double>(), std::sqrt(715.3333333333 / 5.0), 1e-6);
  EXPECT_EQ(j["deviationHistogram"], nlohmann::json::parse(R"([{"deviation":-6,"count":1},
      {"deviation":0,"count":2},{"deviation":6,"count":1},{"deviation":8,"count":1},{"deviation":10,"count":1}])"));

  CommandRun text = kro({"stats", (dir / "p.KRO").string()});
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("A\t4\t2\t50.0%\t130\t114\t123.0\t7.39\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("C\t0\t0\t-\t-\t-\t-\t-\n"), std::string::npos);
  EXPECT_NE(text.out.find("+10\t1\n"), std::string::npos);
  // The ticked totals with the verdict by the project's rule (90 % unless set).
  EXPECT_NE(text.out.find("勾选构件：测点 6 个，合格 3 个，合格率 50.0%（要求 90%）：不合格，平均值 116.3，"),
            std::string::npos)
      << text.out;
  EXPECT_EQ(t["passes"], false);
  EXPECT_EQ(t["acceptanceRule"], 90.0);
  EXPECT_EQ(j["totals"]["all"], (nlohmann::json{{"readingCount", 6}, {"passCount", 3}, {"passRate", 0.5}}));
}

TEST_F(DataCommandsTest, ParametersAreShownSetAndTravelWithTheFile) {
  const std::string p = bareProject();
  const std::string config = (dir / "config").string();
  CommandRun shown = kro({"params", p, "--config-dir", config});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("（文件中没有，以下为默认值）"), std::string::npos);
  EXPECT_NE(shown.out.find("检测依据/执行标准：《混凝土结构工程施工质量验收规范》（GB50204-2002）\n"),
            std::string::npos);
  // The check says where the rule came from.
  EXPECT_NE(kro({"check", p, "--config-dir", config})
                .out.find("注：文件中没有工程参数：合格率要求 90% 和其他参数取自本机的默认值"),
            std::string::npos);
  const std::string q = (dir / "q.KRO").string();
  CommandRun set = kro({"params", p, "--set", "工程名称=阳光花园", "--set=x", "-o", q});
  EXPECT_EQ(set.status, 2);  // "--set=x" is no option
  set = kro({"params", p, "--set", "工程名称=阳光花园", "--set", "合格率要求=50", "--set",
             "执行标准=GB50204-2015", "-o", q, "--config-dir", config});
  ASSERT_EQ(set.status, 0) << set.err;
  const nlohmann::json j = nlohmann::json::parse(kro({"params", q, "--json", "--config-dir", config}).out);
  EXPECT_EQ(j["stored"], true);
  EXPECT_EQ(j["parameters"]["工程名称"], "阳光花园");
  EXPECT_EQ(j["parameters"]["检测依据"], "GB50204-2015");
  EXPECT_EQ(nlohmann::json::parse(kro({"info", q, "--json"}).out)["parameters"]["合格率要求"], "50");
  EXPECT_TRUE(nlohmann::json::parse(kro({"info", p, "--json"}).out)["parameters"].is_null());
  EXPECT_NE(kro({"stats", q, "--config-dir", config}).out.find("（要求 50%）：合格"), std::string::npos);
  // A copy keeps the block byte for byte; the selection export never carries it.
  ASSERT_EQ(kro({"convert", q, "-o", (dir / "r.KRO").string()}).status, 0);
  EXPECT_EQ(test::readBytes(dir / "r.KRO"), test::readBytes(q));
  ASSERT_EQ(kro({"convert", q, "--selection", "-o", (dir / "s.DEX").string()}).status, 0);
  EXPECT_EQ(test::readBytes(dir / "s.DEX").find("KROPARAM"), std::string::npos);
  // A parameters block of a newer version is kept byte for byte and cannot be changed here.
  std::string newer = test::readBytes(q);
  const std::size_t block = newer.find("KROPARAM");
  ASSERT_NE(block, std::string::npos);
  newer[block + 8] = 9;  // version 9
  test::writeBytes(dir / "newer.KRO", newer);
  CommandRun refusedNewer =
      kro({"params", (dir / "newer.KRO").string(), "--set", "工程名称=x", "-o", (dir / "n2.KRO").string()});
  EXPECT_EQ(refusedNewer.status, 1);
  EXPECT_NE(refusedNewer.err.find("更新版本的程序写入（版本 9）"), std::string::npos) << refusedNewer.err;
  ASSERT_EQ(kro({"convert", (dir / "newer.KRO").string(), "-o", (dir / "n3.KRO").string()}).status, 0);
  EXPECT_EQ(test::readBytes(dir / "n3.KRO"), newer);
  // Refusals: a rule that is no rate, no output, the input as output.
  EXPECT_EQ(kro({"params", p, "--set", "合格率要求=abc", "-o", q}).status, 2);
  EXPECT_EQ(kro({"params", p, "--set", "工程名称=x"}).status, 2);
  EXPECT_EQ(kro({"params", p, "--set", "工程名称=x", "-o", p}).status, 1);
  EXPECT_EQ(test::readBytes(dir / "r.KRO"), test::readBytes(q));
  // A name or values beyond what the block holds are refused with the limit, not cut.
  const std::string long2 = (dir / "long.KRO").string();
  CommandRun longName = kro({"params", q, "--set", std::string(70000, 'x') + "长=1", "-o", long2});
  EXPECT_EQ(longName.status, 1);
  EXPECT_NE(longName.err.find("超过了文件中参数名 65535 字节的上限"), std::string::npos)
      << longName.err.substr(0, 300);
  CommandRun huge = kro({"params", q, "--set", "备注=" + std::string(17 << 20, 'x'), "-o", long2});
  EXPECT_EQ(huge.status, 1);
  EXPECT_NE(huge.err.find("16 MB 的上限"), std::string::npos) << huge.err.substr(0, 300);
  EXPECT_FALSE(std::filesystem::exists(dir / "long.KRO"));
}

// The judging rule is set by name, stored with the file and named beside every verdict; stats
// gives the rule and each member's judgement by its mean.
TEST_F(DataCommandsTest, TheRuleIsSetByNameAndNamedBesideTheVerdict) {
  const std::string s = (dir / "s.KRO").string();
  const std::string q = (dir / "q.KRO").string();
  const std::string config = (dir / "config").string();
  ASSERT_EQ(kro({"sample", "-o", s, "--config-dir", config}).status, 0);
  CommandRun unknown = kro({"params", s, "--set", "判定规则=无此规则", "-o", q, "--config-dir", config});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("可用的规则有 逐点判定、GB 50204-2015 附录F"), std::string::npos) << unknown.err;
  EXPECT_EQ(kro({"params", s, "--set", "判定规则.合格率=10", "-o", q}).status, 2);
  ASSERT_EQ(
      kro({"params", s, "--set", "判定规则=GB 50204-2015 附录F", "-o", q, "--config-dir", config}).status, 0);
  EXPECT_NE(kro({"params", q, "--config-dir", config})
                .out.find("判定：GB 50204-2015 附录F（每个构件的平均值，合格率不低于 80%）"),
            std::string::npos);
  const nlohmann::json j = nlohmann::json::parse(kro({"stats", q, "--json", "--config-dir", config}).out);
  EXPECT_EQ(j["rule"], (nlohmann::json{{"name", "GB 50204-2015 附录F"},
                                       {"judged", "memberMean"},
                                       {"minus", -5},
                                       {"plus", 10},
                                       {"threshold", 80.0},
                                       {"secondSampleFrom", 70.0}}));
  const nlohmann::json& ticked = j["totals"]["ticked"];
  std::int64_t passing = 0;
  for (const auto& m : j["members"]) passing += m.value("passes", false) ? 1 : 0;
  EXPECT_EQ(ticked["memberPassCount"], passing);
  EXPECT_EQ(ticked["memberCount"], 12);
  EXPECT_EQ(j["verdict"], passing * 100 >= 80 * 12 ? "合格" : "不合格");
  EXPECT_EQ(ticked["acceptanceRule"], 80.0);
  // The sample's own rule is "逐点判定": the stats say so, and its members have no "passes".
  const nlohmann::json point = nlohmann::json::parse(kro({"stats", s, "--json", "--config-dir", config}).out);
  EXPECT_EQ(point["rule"]["judged"], "reading");
  EXPECT_TRUE(point["rule"]["minus"].is_null());
  EXPECT_FALSE(point["members"][0].contains("passes"));
  EXPECT_NE(kro({"stats", q, "--config-dir", config}).out.find("判定规则：GB 50204-2015 附录F"),
            std::string::npos);
  EXPECT_NE(kro({"check", q, "--config-dir", config}).out.find("个构件合格，合格率"), std::string::npos);
}

// A project that needs a second sample: stats and check say so and how many to add; with the
// second sample marked, the verdict is over both and stats give each sample.
TEST_F(DataCommandsTest, TheSecondSampleInStatsAndCheck) {
  auto slab = [](const std::string& code, bool passes, std::uint8_t sample) {
    MemberData d;
    d.code = code;
    d.designThickness = 120;
    d.selected = 1;
    d.sample = sample;
    for (int k = 0; k < 3; ++k) d.readings.push_back({0, passes ? 120 : 100, 0});
    return MemberRecord(std::move(d));
  };
  Project project;
  for (int i = 0; i < 8; ++i) project.members.push_back(slab("A" + std::to_string(i), i < 6, 1));
  ParameterValues values;
  values.setRule(*builtInRule(kSlabRuleName));
  project.parameters = toStoredParameters(values, {}).value();
  const std::string one = (dir / "one.KRO").string();
  test::writeBytes(one, encodeProjectFile(project));
  nlohmann::json j = nlohmann::json::parse(kro({"stats", one, "--json"}).out);
  EXPECT_EQ(j["verdict"], "需二次抽样");
  EXPECT_EQ(j["membersToAdd"], 8);
  EXPECT_EQ(j["samples"].size(), 1u);
  CommandRun check = kro({"check", one});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("需二次抽样：第一次抽样合格率 75.0%，低于 80% 而不低于 70%，需再抽取 8 个构件"),
            std::string::npos)
      << check.out;
  for (int i = 0; i < 8; ++i) project.members.push_back(slab("B" + std::to_string(i), i < 7, 2));
  const std::string both = (dir / "both.KRO").string();
  test::writeBytes(both, encodeProjectFile(project));
  j = nlohmann::json::parse(kro({"stats", both, "--json"}).out);
  EXPECT_EQ(j["verdict"], "合格");
  EXPECT_EQ(j["samples"][1],
            (nlohmann::json{{"memberCount", 8}, {"memberPassCount", 7}, {"passRate", 0.875}}));
  EXPECT_EQ(j["combined"]["memberPassCount"], 13);
  EXPECT_EQ(kro({"check", both}).status, 0);
  // A second sample smaller than the first is a finding.
  project.members.pop_back();
  test::writeBytes(both, encodeProjectFile(project));
  EXPECT_NE(kro({"check", both}).out.find("第二次抽样只有 7 个构件"), std::string::npos);
}

// Every command tells the kinds of file apart by their content: anything else is refused, and a
// damaged analysis file can give up its intact members.
TEST_F(DataCommandsTest, FilesThatAreNoProjectAreRefusedAndDamagedOnesRecovered) {
  test::writeBytes(dir / "passwd", "root:x:0:0:root:/root:/bin/bash\n");
  const std::string passwd = (dir / "passwd").string();
  CommandRun info = kro({"info", passwd});
  EXPECT_EQ(info.status, 1);
  EXPECT_NE(info.err.find("不是楼板仪数据文件"), std::string::npos) << info.err;
  EXPECT_EQ(kro({"check", passwd}).status, 2);
  EXPECT_EQ(kro({"diff", passwd, project()}).status, 2);

  const std::string whole = test::readBytes(bareProject());
  test::writeBytes(dir / "cut.KRO", whole.substr(0, whole.size() - 30));
  EXPECT_EQ(kro({"convert", (dir / "cut.KRO").string(), "-o", (dir / "out.KRO").string()}).status, 1);
  CommandRun recovered =
      kro({"convert", (dir / "cut.KRO").string(), "--recover", "-o", (dir / "out.KRO").string()});
  ASSERT_EQ(recovered.status, 0) << recovered.err;
  EXPECT_NE(recovered.err.find("第 3 个构件处损坏"), std::string::npos) << recovered.err;
  EXPECT_EQ(loadProject(dir / "out.KRO").value().project.memberCount(), 2);
}

TEST_F(DataCommandsTest, DiffListsFieldEditsUnlessReadingsOnly) {
  auto write = [this](const char* name, const std::string& rows) {
    test::writeBytes(dir / (std::string(name) + ".csv"), std::string(kCsvHeader) + "\r\n" + rows);
    EXPECT_EQ(kro({"import", (dir / (std::string(name) + ".csv")).string(), "-o",
                   (dir / (std::string(name) + ".KRO")).string()})
                  .status,
              0);
    return (dir / (std::string(name) + ".KRO")).string();
  };
  const std::string before = write("before", "P002,,,130,0,0,1,125\r\n");
  const std::string after = write("after", "P002,,,125,-5,8,1,125\r\n");
  CommandRun text = kro({"diff", before, after});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out, "P002 设计厚度：130 → 125\nP002 允许偏差：0/0 → -5/+8\n");
  EXPECT_EQ(nlohmann::json::parse(kro({"diff", before, after, "--json"}).out)["fields"][0],
            nlohmann::json::parse(R"({"code": "P002", "field": "设计厚度", "from": "130", "to": "125"})"));
  CommandRun readings = kro({"diff", before, after, "--readings-only"});
  EXPECT_EQ(readings.status, 0);
  EXPECT_EQ(readings.out, "");
}

TEST_F(DataCommandsTest, ExportAndImportRoundTripThroughTheCommandLine) {
  const std::string p = project();
  ASSERT_EQ(kro({"export", "--csv", p, "-o", (dir / "out.csv").string()}).status, 0);
  const std::string csv = test::readBytes(dir / "out.csv");
  EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(csv.find("A,,,120,-5,8,1,114,-6,×,导入\r\n"), std::string::npos);
  EXPECT_NE(csv.find("C,,,90,-5,8,,,,,\r\n"), std::string::npos);
  ASSERT_EQ(kro({"import", (dir / "out.csv").string(), "-o", (dir / "again.KRO").string()}).status, 0);
  const Project again = loadProject(dir / "again.KRO").value().project;
  EXPECT_EQ(again.members, loadProject(p).value().project.members);
  EXPECT_EQ(again.parameters, loadProject(p).value().project.parameters);
  EXPECT_EQ(again.members[0].readings()[0].origin, ReadingOrigin::Imported);
  EXPECT_EQ(again.sources.at(0).kind, ProjectSource::Kind::Import);
}

TEST_F(DataCommandsTest, RefusalsLeaveFilesAlone) {
  const std::string p = project();
  const std::string before = test::readBytes(p);
  // An output that is its input.
  EXPECT_EQ(kro({"export", "--csv", p, "-o", p}).status, 1);
  EXPECT_EQ(kro({"import", (dir / "p.csv").string(), "-o", (dir / "p.csv").string()}).status, 1);
  // A CSV with an error writes nothing and names the file, line and column.
  test::writeBytes(dir / "bad.csv", std::string(kCsvHeader) + "\r\nA,,,120,-5,8,1,abc\r\n");
  CommandRun bad = kro({"import", (dir / "bad.csv").string(), "-o", p});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("bad.csv”第 2 行第 8 列（厚度值）"), std::string::npos) << bad.err;
  EXPECT_EQ(test::readBytes(p), before);
  // Usage.
  EXPECT_EQ(kro({"export", p, "-o", (dir / "x.csv").string()}).status, 2);
  EXPECT_EQ(kro({"import", (dir / "p.csv").string()}).status, 2);
  EXPECT_EQ(kro({"stats"}).status, 2);
  EXPECT_EQ(kro({"stats", (dir / "none.KRO").string()}).status, 1);
}

TEST_F(DataCommandsTest, CheckExitsLikeDiff) {
  const std::string p = project();  // C has no readings
  const std::string config = (dir / "config").string();
  std::filesystem::create_directories(config);
  CommandRun r = kro({"check", p, "--config-dir", config, "--json"});
  EXPECT_EQ(r.status, 1);
  const nlohmann::json j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j["findings"].size(), 1u);
  EXPECT_EQ(j["findings"][0]["kind"], "noReadings");
  EXPECT_EQ(j["findings"][0]["member"], 3);
  EXPECT_EQ(j["findings"][0]["code"], "C");
  EXPECT_NE(j["notes"].back().get<std::string>().find("没有检查报告的工程参数"), std::string::npos);

  // Every parameter of format 5 filled, and a project without faults: nothing found.
  std::string ini = "[Data]\r\n";
  for (const char* key : {"工程名称", "委托单位", "试验编号", "建设单位", "设计单位", "施工单位", "监理单位",
                          "委托日期", "委托编号", "检测仪器", "检测依据", "检测日期"}) {
    ini += *utf8ToGbk(std::string(key) + "=x") + "\r\n";
  }
  test::writeBytes(dir / "config" / "reportGansuini.ini", ini);
  test::writeBytes(dir / "ok.csv", std::string(kCsvHeader) + "\r\nA,,,120,-5,8,1,120\r\n");
  ASSERT_EQ(
      kro({"import", (dir / "ok.csv").string(), "-o", (dir / "ok.KRO").string(), "--config-dir", config})
          .status,
      0);
  CommandRun clean = kro({"check", (dir / "ok.KRO").string(), "--format", "5", "--config-dir", config});
  // The verdict is a note, not a finding.
  EXPECT_EQ(clean.status, 0) << clean.out;
  EXPECT_EQ(clean.out,
            "注：勾选构件（用于报告）：1 点，合格率 100.0 %（要求 90 "
            "%）：合格，判定规则：逐点判定（每个测点，合格率不低于 90%）\n");
  // The office's parameters of the time go into a file when it is written.
  CommandRun text = kro({"check", project(config), "--format", "5", "--config-dir", config});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out,
            "第 3 个构件 C：没有测点。\n注：勾选构件（用于报告）：6 点，合格率 50.0 %（要求 90 "
            "%）：不合格，判定规则：逐点判定（每个测点，合格率不低于 90%）\n");

  EXPECT_EQ(kro({"check", (dir / "none.KRO").string()}).status, 2);
  EXPECT_EQ(kro({"check", p, "--format", "7"}).status, 2);
  EXPECT_EQ(kro({"check"}).status, 2);
}

TEST_F(DataCommandsTest, DiffAgainstTheReceivedBytes) {
  // The instrument sent A001 with 118 as its second reading and B002 with a third reading; the
  // edited file has 120, lost that reading, and has a member C003 the instrument never sent.
  auto write = [this](const char* name, const std::string& rows) {
    test::writeBytes(dir / (std::string(name) + ".csv"), std::string(kCsvHeader) + "\r\n" + rows);
    CommandRun r = kro({"import", (dir / (std::string(name) + ".csv")).string(), "-o",
                        (dir / (std::string(name) + ".KRO")).string()});
    EXPECT_EQ(r.status, 0) << r.err;
    return (dir / (std::string(name) + ".KRO")).string();
  };
  const std::string a = "A001,,2026年12月08日,120,0,0,", b = "B002,,2026年12月08日,100,0,0,";
  const std::string original = write(
      "original", a + "1,114\r\n" + a + "2,118\r\n" + b + "1,100\r\n" + b + "2,106\r\n" + b + "3,99\r\n");
  const std::string edited = write("edited", a + "1,114\r\n" + a + "2,120\r\n" + b + "1,100\r\n" + b +
                                                 "2,106\r\nC003,,2026年12月08日,90,0,0,,\r\n");
  auto block = encodeSerialBlock(loadProject(original).value().project.members);
  ASSERT_TRUE(block.ok()) << block.message();
  test::writeBytes(dir / "20261208-090000.serial", block.value());
  const std::string received = (dir / "20261208-090000.serial").string();

  CommandRun r = kro({"diff", received, edited, "--json"});
  ASSERT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json::parse(R"({
      "formatVersion": 2,
      "changed": [{"code": "A001", "reading": 2, "from": 118, "to": 120}],
      "added": [{"code": "C003"}],
      "removed": [{"code": "B002", "reading": 3, "value": 99}],
      "fields": []})"));
  CommandRun text = kro({"diff", received, edited});
  EXPECT_EQ(text.out, "A001 测点 2：118 → 120\nB002 测点 3：删除 99\n新增构件 C003（0 个测点）\n");

  EXPECT_EQ(kro({"diff", received, original}).status, 0);
  EXPECT_EQ(kro({"diff", edited, edited}).out, "");
  EXPECT_EQ(kro({"diff", edited, (dir / "none.KRO").string()}).status, 2);
  test::writeBytes(dir / "cut.serial", block.value().substr(0, 30));
  CommandRun cut = kro({"diff", (dir / "cut.serial").string(), edited});
  EXPECT_EQ(cut.status, 2);
  EXPECT_NE(cut.err.find("cut.serial"), std::string::npos);
  EXPECT_EQ(kro({"diff", edited}).status, 2);
}

#ifndef _WIN32  // the device commands are not in kro.exe
TEST_F(DataCommandsTest, PortsListsSerialPortsAndUsbInstruments) {
  CommandRun r = kro({"ports", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  ASSERT_TRUE(j["serial"].is_array());
  ASSERT_TRUE(j["usb"].is_array());
  for (const auto& port : j["serial"]) {
    EXPECT_TRUE(port["path"].get<std::string>().rfind("/dev/", 0) == 0) << port;
    EXPECT_FALSE(port["name"].get<std::string>().empty());
  }
  CommandRun text = kro({"ports"});
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("USB 仪器："), std::string::npos);
  EXPECT_EQ(kro({"ports", "x"}).status, 2);
}
#endif

}  // namespace
}  // namespace kro
