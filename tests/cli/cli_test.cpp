// The kro command, run in-process: outputs, exit statuses and the bundled samples.
#include "cli/cli.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "model/analysis_file.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

CommandRun kro(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = cli::run(args, out, err);
  return {status, out.str(), err.str()};
}

std::filesystem::path sourceDir() {
  const char* dir = std::getenv("KRO_SOURCE_DIR");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path(".");
}

class CliTest : public ::testing::Test {
 protected:
  std::string samplePath() const { return (sourceDir() / "samples" / "sample.KRO").string(); }
  test::TempDir dir;
};

TEST_F(CliTest, SampleMatchesTheBundledFiles) {
  CommandRun r = kro({"sample", "-o", (dir / "s.KRO").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::readBytes(dir / "s.KRO"), test::readBytes(samplePath()));

  r = kro({"sample", "--raw", "-o", (dir / "raw").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sourceDir() / "samples" / "raw")) {
    ++files;
    EXPECT_EQ(test::readBytes(dir / "raw" / entry.path().filename()), test::readBytes(entry.path()))
        << entry.path();
  }
  EXPECT_EQ(files, 13);
  EXPECT_EQ(test::entryCount(dir / "raw"), 13);
}

TEST_F(CliTest, SampleIsRealistic) {
  auto members = decodeAnalysisFile(test::readBytes(samplePath()));
  ASSERT_TRUE(members.ok());
  ASSERT_GE(members.value().size(), 10u);
  std::set<MemberKind> kinds;
  int failing = 0;
  for (const MemberRecord& m : members.value()) {
    kinds.insert(m.memberKind());
    ASSERT_EQ(m.code().size(), 4u);
    for (char c : m.code()) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) << m.code();
    EXPECT_EQ(m.testDate().size(), 14u);  // "2008年05月12日"
    EXPECT_EQ(m.testDate().substr(0, 2), "20");
    for (int i = 0; i < m.readingCount(); ++i) failing += m.passesTolerance(i) ? 0 : 1;
  }
  EXPECT_EQ(kinds.size(), 3u);
  EXPECT_GT(failing, 0);
}

TEST_F(CliTest, InfoJsonHasEveryFieldAndFreshTotals) {
  CommandRun r = kro({"info", samplePath(), "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto json = nlohmann::ordered_json::parse(r.out);
  ASSERT_EQ(json["members"].size(), 12u);
  const auto& first = json["members"][0];
  std::vector<std::string> keys;
  for (const auto& item : first.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"code", "name", "testDate", "selected", "averageThickness",
                                            "designThickness", "minusDeviation", "plusDeviation",
                                            "readingCount", "secondColumnStart", "reserved", "maxThickness",
                                            "minThickness", "passCount", "passRate", "readings"}));
  EXPECT_EQ(first["code"], "0001");
  EXPECT_EQ(first["name"], "1#楼一层楼板");
  EXPECT_EQ(first["testDate"], "2008年05月12日");
  EXPECT_EQ(first["readings"].size(), first["readingCount"].get<std::size_t>());
  EXPECT_EQ(first["readings"][0].size(), 3u);

  std::int64_t readings = 0, passed = 0;
  for (const auto& m : json["members"]) {
    readings += m["readingCount"].get<std::int64_t>();
    passed += m["passCount"].get<std::int64_t>();
  }
  EXPECT_EQ(json["totals"]["totalReadingCount"], readings);
  EXPECT_EQ(json["totals"]["totalPassCount"], passed);
  EXPECT_NEAR(json["totals"]["overallPassRate"].get<double>(), double(passed) / double(readings), 1e-6);
}

TEST_F(CliTest, InfoTextShowsMembersAndTotals) {
  CommandRun r = kro({"info", samplePath()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("1#楼一层楼板"), std::string::npos);
  EXPECT_NE(r.out.find("W003"), std::string::npos);
  EXPECT_NE(r.out.find("整体合格率："), std::string::npos);
}

TEST_F(CliTest, WarningsGoToStderrWithSuccess) {
  ASSERT_EQ(kro({"sample", "--raw", "-o", dir.path().string()}).status, 0);
  std::filesystem::remove(dir / "P002.DAT");
  CommandRun r = kro({"info", (dir / "SAMPLE.DEX").string(), "--json"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("P002.DAT"), std::string::npos);
  EXPECT_EQ(nlohmann::json::parse(r.out)["members"].size(), 12u);
}

TEST_F(CliTest, FailuresAndUsageErrors) {
  CommandRun missing = kro({"info", (dir / "none.KRO").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
  EXPECT_TRUE(missing.out.empty());

  EXPECT_EQ(kro({}).status, 2);
  EXPECT_EQ(kro({"frobnicate"}).status, 2);
  EXPECT_EQ(kro({"info"}).status, 2);
  EXPECT_EQ(kro({"info", samplePath(), "--bogus"}).status, 2);
  EXPECT_EQ(kro({"convert", samplePath()}).status, 2);
  EXPECT_EQ(kro({"sample", "-o"}).status, 2);
  EXPECT_EQ(kro({"help"}).status, 0);
}

TEST_F(CliTest, Convert) {
  ASSERT_EQ(kro({"sample", "--raw", "-o", (dir / "raw").string()}).status, 0);
  CommandRun r = kro({"convert", (dir / "raw" / "SAMPLE.DEX").string(), "-o", (dir / "raw.KRO").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  auto members = decodeAnalysisFile(test::readBytes(dir / "raw.KRO"));
  ASSERT_TRUE(members.ok());
  EXPECT_EQ(members.value().size(), 12u);

  // An analysis file converts to itself, byte for byte, and replaces an existing output.
  test::writeBytes(dir / "same.KRO", "old");
  ASSERT_EQ(kro({"convert", samplePath(), "-o", (dir / "same.KRO").string()}).status, 0);
  EXPECT_EQ(test::readBytes(dir / "same.KRO"), test::readBytes(samplePath()));

  ASSERT_EQ(kro({"convert", samplePath(), "--selection", "-o", (dir / "sel.DEX").string()}).status, 0);
  EXPECT_EQ(test::readBytes(samplePath()).size() - test::readBytes(dir / "sel.DEX").size(), 5u * 12);
  EXPECT_TRUE(isSelectionExport(test::readBytes(dir / "sel.DEX")));

  CommandRun refused = kro({"convert", samplePath(), "--selection", "-o", (dir / "sel.KRO").string()});
  EXPECT_EQ(refused.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "sel.KRO"));
}

}  // namespace
}  // namespace kro
