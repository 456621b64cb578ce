// The kro command, run in-process: outputs, exit statuses and the bundled samples.
#include "cli/cli.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli/command_declarations.h"
#ifndef _WIN32
#include "devices/pty_instrument.h"
#endif
#include "model/analysis_file.h"
#include "model/project.h"
#include "model/sample_project.h"
#include "model/statistics.h"
#include "support/environment.h"
#include "support/kro_command.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"

namespace kro {
namespace {

using test::CommandRun;
using test::kro;

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
    for (int i = 0; i < m.readingCount(); ++i) failing += passesTolerance(m, i) ? 0 : 1;
  }
  EXPECT_EQ(kinds.size(), 3u);
  EXPECT_GT(failing, 0);
}

TEST_F(CliTest, InfoJsonHasEveryStoredFieldAsStoredAndTheComputedFigures) {
  CommandRun r = kro({"info", samplePath(), "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto json = nlohmann::ordered_json::parse(r.out);
  EXPECT_EQ(json.begin().key(), "formatVersion");
  EXPECT_EQ(json["formatVersion"], 2);
  ASSERT_EQ(json["members"].size(), 12u);
  const auto& first = json["members"][0];
  std::vector<std::string> keys;
  for (const auto& item : first.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "code", "name", "testDate", "selected", "averageThickness", "designThickness",
                      "minusDeviation", "plusDeviation", "readingCount", "secondColumnStart", "reserved",
                      "maxThickness", "minThickness", "passCount", "passRate", "readings", "computed"}));
  EXPECT_EQ(first["code"], "0001");
  EXPECT_EQ(first["name"], "1#楼一层楼板");
  EXPECT_EQ(first["testDate"], "2008年05月12日");
  EXPECT_EQ(first["readings"].size(), first["readingCount"].get<std::size_t>());
  EXPECT_EQ(
      first["readings"][0],
      (nlohmann::ordered_json{
          {"thickness", 116}, {"aux", 0}, {"spare", 0}, {"origin", "unrecorded"}, {"corrected", false}}));

  std::int64_t readings = 0, passed = 0;
  for (const auto& m : json["members"]) {
    readings += m["computed"]["readingCount"].get<std::int64_t>();
    passed += m["computed"]["passCount"].get<std::int64_t>();
  }
  // Every member of the sample is ticked: both totals agree.
  for (const char* whose : {"all", "ticked"}) {
    EXPECT_EQ(json["totals"][whose]["readingCount"], readings);
    EXPECT_EQ(json["totals"][whose]["passCount"], passed);
    EXPECT_NEAR(json["totals"][whose]["passRate"].get<double>(), double(passed) / double(readings), 1e-6);
  }
}

#ifndef _WIN32  // POSIX only
// What a shell command prints, and whether it succeeded.
std::pair<int, std::string> shell(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, out};
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return {::pclose(pipe), out};
}
#endif

#ifndef _WIN32  // POSIX only
// The manual page renders and names every command and option the parser knows; the completion
// loads in bash and completes commands and option values.
TEST_F(CliTest, TheManualAndTheCompletionComeFromTheDeclarations) {
  const char* bin = std::getenv("KRO_BIN_DIR");
  if (bin == nullptr) GTEST_SKIP() << "KRO_BIN_DIR not set";
  const auto [status, manual] = shell("MANWIDTH=100 man -l '" + std::string(bin) + "/kro.1' 2>/dev/null");
  ASSERT_EQ(status, 0) << "man -l failed";
  for (const cli::CommandDeclaration& declaration : cli::commandDeclarations()) {
    EXPECT_NE(manual.find("kro " + std::string(declaration.name)), std::string::npos) << declaration.name;
    for (const cli::OptionDeclaration& o : declaration.options)
      EXPECT_NE(manual.find(o.name), std::string::npos) << o.name;
  }
  const auto [loaded, completed] =
      shell("bash -c 'source \"" + std::string(bin) +
            "/kro.bash-completion\" && complete -p kro && COMP_WORDS=(kro che) COMP_CWORD=1 && _kro && "
            "echo \"${COMPREPLY[*]}\" && COMP_WORDS=(kro report x --format \"\") COMP_CWORD=4 && _kro && "
            "echo \"${COMPREPLY[*]}\"'");
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(completed, "complete -o filenames -F _kro kro\ncheck\n1 2 3 4 5 6\n");
}
#endif

TEST_F(CliTest, EveryJsonOutputSaysItsFormatVersionFirst) {
  const std::string s = samplePath();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"info", s, "--json"},
                                             {"stats", s, "--json"},
                                             {"check", s, "--json", "--config-dir", dir.path().string()},
                                             {"diff", s, s, "--json"},
                                             {"params", s, "--json"},
                                             {"ports", "--json"}}) {
#ifdef _WIN32
    if (cli::needsQt(args[0])) continue;  // the device commands are not in kro.exe
#endif
    CommandRun r = kro(args);
    ASSERT_TRUE(r.status == 0 || r.status == 1) << args[0] << r.err;
    const auto json = nlohmann::ordered_json::parse(r.out);
    EXPECT_EQ(json.begin().key(), "formatVersion") << args[0];
    EXPECT_EQ(json["formatVersion"], 2) << args[0];
  }
}

TEST_F(CliTest, InfoShowsStoredFiguresAsStoredBesideTheComputedOnes) {
  // A file from elsewhere: figures that disagree with the readings, a member without readings.
  MemberData d;
  d.code = "X1";
  d.designThickness = 120;
  d.passRate = 0.95f;
  d.passCount = 99;
  d.maxThickness = 7;
  d.averageThickness = 0;
  d.readings = {{0, 118, 0}, {0, 131, 0}, {0, 125, 0}};
  MemberData empty;
  empty.code = "X2";
  empty.passRate = 0.5f;
  ASSERT_TRUE(writeAnalysisFile(dir / "f.KRO", Project{{MemberRecord(d), MemberRecord(empty)}}).ok());
  CommandRun r = kro({"info", (dir / "f.KRO").string(), "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto json = nlohmann::json::parse(r.out);
  const auto& m = json["members"][0];
  EXPECT_EQ(m["passRate"].dump(), "0.95");
  EXPECT_EQ(m["passCount"], 99);
  EXPECT_EQ(m["maxThickness"], 7);
  const auto& c = m["computed"];
  EXPECT_EQ(c["readingCount"], 3);
  EXPECT_EQ(c["passCount"], 2);
  EXPECT_DOUBLE_EQ(c["passRate"].get<double>(), 2.0 / 3.0);
  EXPECT_EQ(c["maxThickness"], 131);
  EXPECT_EQ(c["minThickness"], 118);
  EXPECT_DOUBLE_EQ(c["mean"].get<double>(), 374.0 / 3.0);
  EXPECT_NEAR(c["standardDeviation"].get<double>(), 6.5064, 1e-4);
  const auto& none = json["members"][1]["computed"];
  EXPECT_EQ(none.size(), 2u);  // only the counts without readings
  EXPECT_EQ(none["readingCount"], 0);

  CommandRun text = kro({"info", (dir / "f.KRO").string()});
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("X1 合格率：保存的是 95.0%，按测点计算为 66.7%"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("文件中保存的数值"), std::string::npos);
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
  // A usage error is one line and where to look, not the whole usage.
  CommandRun bogus = kro({"info", samplePath(), "--bogus"});
  EXPECT_EQ(bogus.err, "kro: 未知选项 --bogus\n请运行 kro info --help\n");
  EXPECT_EQ(kro({"frobnicate"}).err, "kro: 未知命令 frobnicate\n请运行 kro --help\n");

  // Every command checks what its declaration asks for before it touches a file: the count of
  // inputs, and -o where every use needs it.
  for (const cli::CommandDeclaration& declaration : cli::commandDeclarations()) {
    const std::string name(declaration.name);
#ifdef _WIN32
    if (cli::needsQt(name)) continue;  // print runs in kro-qt.exe
#endif
    std::vector<std::string> tooMany{name};
    for (int i = 0; i <= declaration.inputCount; ++i) tooMany.push_back(samplePath());
    if (!declaration.requiredOutput.empty()) tooMany.insert(tooMany.end(), {"-o", (dir / "never").string()});
    CommandRun extra = kro(tooMany);
    EXPECT_EQ(extra.status, 2) << name << ": " << extra.err;
    EXPECT_EQ(extra.err.rfind("kro: " + name + " ", 0), 0u) << extra.err;
    if (declaration.requiredOutput.empty()) continue;
    std::vector<std::string> withoutOutput{name};
    for (int i = 0; i < declaration.inputCount; ++i) withoutOutput.push_back(samplePath());
    CommandRun noOutput = kro(withoutOutput);
    EXPECT_EQ(noOutput.status, 2) << name;
    EXPECT_NE(noOutput.err.find("需要用 -o 指定"), std::string::npos) << name << ": " << noOutput.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "never"));
}

// The conventions scripts expect: --version, per-command --help, --opt=value and --.
TEST_F(CliTest, ConventionsOfCommandLineTools) {
  CommandRun version = kro({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("kro ") + KRO_VERSION + "\n");
  for (const cli::CommandDeclaration& declaration : cli::commandDeclarations()) {
#ifdef _WIN32
    if (cli::needsQt(declaration.name)) continue;  // print runs in kro-qt.exe
#endif
    CommandRun help = kro({std::string(declaration.name), "--help"});
    EXPECT_EQ(help.status, 0) << declaration.name;
    EXPECT_EQ(help.out.rfind("用法：kro " + std::string(declaration.name) + " ", 0), 0u) << help.out;
    for (const cli::OptionDeclaration& o : declaration.options)
      EXPECT_NE(help.out.find(o.name), std::string::npos) << o.name;
    EXPECT_TRUE(help.err.empty());
  }
  const std::string config = "--config-dir=" + dir.path().string();
  CommandRun joined = kro({"stats", samplePath(), "--json", config});
  CommandRun apart = kro({"stats", samplePath(), "--json", "--config-dir", dir.path().string()});
  ASSERT_EQ(joined.status, 0) << joined.err;
  EXPECT_EQ(joined.out, apart.out);
  EXPECT_EQ(kro({"check", samplePath(), "--format=9"}).status, 2);
  EXPECT_EQ(kro({"info", "--json=1", samplePath()}).status, 2);  // a flag takes no value
  // After --, an argument starting with "-" is a file.
  test::writeBytes(dir / "-dash.KRO", test::readBytes(samplePath()));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_EQ(kro({"info", "--", "-dash.KRO"}).status, 0);
  EXPECT_EQ(kro({"info", "--", "--help"}).status, 1);  // a file of that name, which is not there
  std::filesystem::current_path(before);
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
  EXPECT_TRUE(test::readBytes(dir / "same.KRO") == test::readBytes(samplePath()));
  // So does one whose stored figures disagree with its readings (nothing is recomputed), and a
  // converted raw project.
  MemberData odd = makeSampleProject()[3].data();
  odd.passCount = -1;
  odd.maxThickness = 0;
  odd.passRate = 0.25f;
  odd.name = std::string(100, 'n');
  Project oddProject{{MemberRecord(odd)}};
  oddProject.parameters = {{{"R", "1"}}, true};
  ASSERT_TRUE(writeAnalysisFile(dir / "odd.KRO", oddProject).ok());
  ASSERT_EQ(kro({"convert", (dir / "odd.KRO").string(), "-o", (dir / "odd2.KRO").string()}).status, 0);
  EXPECT_TRUE(test::readBytes(dir / "odd2.KRO") == test::readBytes(dir / "odd.KRO"));
  // A file without parameters comes out with the office's after its unchanged members.
  ASSERT_TRUE(writeAnalysisFile(dir / "bare.KRO", Project{{MemberRecord(odd)}}).ok());
  ASSERT_EQ(kro({"convert", (dir / "bare.KRO").string(), "-o", (dir / "bare2.KRO").string(), "--config-dir",
                 (dir / "config").string()})
                .status,
            0);
  const std::string bare = test::readBytes(dir / "bare.KRO");
  const std::string converted = test::readBytes(dir / "bare2.KRO");
  EXPECT_TRUE(converted.substr(0, bare.size()) == bare);
  EXPECT_EQ(converted.substr(bare.size(), 8), "KROPARAM");
  std::vector<std::string> warnings;
  auto convertedProject = decodeProjectFile(converted, warnings);
  ASSERT_TRUE(convertedProject.ok());
  ASSERT_NE(convertedProject.value().parameters.find("\xBA\xCF\xB8\xF1\xC2\xCA\xD2\xAA\xC7\xF3"), nullptr);
  EXPECT_EQ(*convertedProject.value().parameters.find("\xBA\xCF\xB8\xF1\xC2\xCA\xD2\xAA\xC7\xF3"), "90");
  ASSERT_EQ(kro({"convert", (dir / "raw.KRO").string(), "-o", (dir / "raw2.KRO").string()}).status, 0);
  EXPECT_TRUE(test::readBytes(dir / "raw2.KRO") == test::readBytes(dir / "raw.KRO"));

  ASSERT_EQ(kro({"convert", samplePath(), "--selection", "-o", (dir / "sel.DEX").string()}).status, 0);
  EXPECT_EQ(encodeMembers(decodeAnalysisFile(test::readBytes(samplePath())).value(), MemberLayout::Analysis)
                    .size() -
                test::readBytes(dir / "sel.DEX").size(),
            5u * 12);
  EXPECT_TRUE(isSelectionExport(test::readBytes(dir / "sel.DEX")));

  CommandRun refused = kro({"convert", samplePath(), "--selection", "-o", (dir / "sel.KRO").string()});
  EXPECT_EQ(refused.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "sel.KRO"));
}

TEST_F(CliTest, DecodeCapturedStreams) {
  const auto members = makeSampleProject();
  test::writeBytes(dir / "serial.raw", encodeSerialBlock(members).value());
  test::writeBytes(dir / "usb.raw", encodeUsbImage(members).value());
  ASSERT_EQ(kro({"decode", "--serial", (dir / "serial.raw").string(), "-o", (dir / "s.KRO").string()}).status,
            0);
  ASSERT_EQ(kro({"decode", "--usb", (dir / "usb.raw").string(), "-o", (dir / "u.KRO").string()}).status, 0);
  const Project decoded = loadProject(dir / "s.KRO").value().project;
  EXPECT_EQ(decoded.members, loadProject(dir / "u.KRO").value().project.members);
  EXPECT_EQ(decoded.members.size(), 12u);
  // Each file records the bytes it was decoded from as its source, and begins its log.
  ASSERT_EQ(decoded.sources.size(), 1u);
  EXPECT_EQ(decoded.sources[0].kind, ProjectSource::Kind::SerialTransfer);
  EXPECT_EQ(decoded.sources[0].files.at(0).sha256, sha256(test::readBytes(dir / "serial.raw")));
  ASSERT_EQ(decoded.log.size(), 1u);
  EXPECT_EQ(decoded.members[0].readings()[0].origin, ReadingOrigin::Transfer);

  test::writeBytes(dir / "empty.raw", std::string(8, '\0'));
  CommandRun empty =
      kro({"decode", "--serial", (dir / "empty.raw").string(), "-o", (dir / "e.KRO").string()});
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("没有数据"), std::string::npos);
  EXPECT_NE(empty.err.find("empty.raw"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "e.KRO"));

  // A block cut short, and one with an implausible member: refused whole, or kept with a
  // warning and success.
  const std::string serial = test::readBytes(dir / "serial.raw");
  test::writeBytes(dir / "cut.raw", serial.substr(0, serial.size() - 1));
  CommandRun cut = kro({"decode", "--serial", (dir / "cut.raw").string(), "-o", (dir / "c.KRO").string()});
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find("已收到 " + std::to_string(serial.size() - 1) + " 字节"), std::string::npos)
      << cut.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "c.KRO"));
  std::string odd = serial;
  odd[8 + 5] = 13;  // the first member's month
  test::writeBytes(dir / "odd.raw", odd);
  CommandRun warned = kro({"decode", "--serial", (dir / "odd.raw").string(), "-o", (dir / "o.KRO").string()});
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_NE(warned.err.find("警告"), std::string::npos);
  EXPECT_NE(warned.err.find("月份 13"), std::string::npos) << warned.err;
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "o.KRO")).value().size(), 12u);
  EXPECT_EQ(kro({"decode", (dir / "usb.raw").string(), "-o", (dir / "x.KRO").string()}).status, 2);
}

#ifndef _WIN32  // POSIX only
TEST_F(CliTest, TransferFromTheSimulatedUsbInstrument) {
  test::setEnvironment("KRO_USB_SIMULATE", samplePath().c_str());
  CommandRun r = kro({"transfer", "--usb", "0", "-o", (dir / "t.KRO").string()});
  test::unsetEnvironment("KRO_USB_SIMULATE");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("数据传输结束!"), std::string::npos);
  auto received = decodeAnalysisFile(test::readBytes(dir / "t.KRO"));
  ASSERT_TRUE(received.ok());
  EXPECT_EQ(received.value().size(), 12u);
  EXPECT_EQ(received.value()[11].code(), "W003");
}
#endif

#ifndef _WIN32  // POSIX only
TEST_F(CliTest, TransferOverSerialAndGivingUpOnSilence) {
  auto instrument = PtyInstrument::create(encodeSerialBlock(makeSampleProject()).value(), true);
  ASSERT_TRUE(instrument.ok());
  std::atomic<bool> stop{false};
  std::thread server([&] { instrument.value()->serve(stop); });
  CommandRun r =
      kro({"transfer", "--serial", instrument.value()->portPath(), "-o", (dir / "t.KRO").string()});
  stop = true;
  server.join();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "t.KRO")).value().size(), 12u);

  // An instrument that hears the start command but never sends anything.
  auto silent = PtyInstrument::create("", true);
  ASSERT_TRUE(silent.ok());
  CommandRun quiet = kro(
      {"transfer", "--serial", silent.value()->portPath(), "-o", (dir / "q.KRO").string(), "--timeout", "1"});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_NE(quiet.err.find("1 秒"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "q.KRO"));
  EXPECT_EQ(kro({"transfer", "--serial", "COM1", "--usb", "0", "-o", "x"}).status, 2);
  EXPECT_EQ(kro({"transfer", "--usb", "x", "-o", "x"}).status, 2);
}
#endif

TEST_F(CliTest, NumbersAreParsedStrictly) {
  const std::string out = (dir / "x.KRO").string();
  for (const std::string bad :
       {"99999999999999999999", "4294967296", "256", "-1", "+1", " 1", "1 ", "1.0", ""}) {
    CommandRun r = kro({"transfer", "--usb", bad, "-o", out});
    EXPECT_EQ(r.status, 2) << "--usb '" << bad << "'";
    EXPECT_NE(r.err.find("--usb"), std::string::npos);
  }
  for (const std::string bad : {"5abc", "0", "-5", "86401", "1e3", "0x10"}) {
    CommandRun r = kro({"transfer", "--serial", "COM1", "--timeout", bad, "-o", out});
    EXPECT_EQ(r.status, 2) << "--timeout '" << bad << "'";
    EXPECT_NE(r.err.find("--timeout"), std::string::npos);
  }
  for (const std::string bad : {"0", "7", "1x", "-1", "4294967297"}) {
    EXPECT_EQ(kro({"report", samplePath(), "-o", dir.path().string(), "--format", bad}).status, 2) << bad;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

#ifndef _WIN32  // POSIX only
TEST_F(CliTest, NoOutputReplacesItsOwnInput) {
  ASSERT_EQ(kro({"sample", "-o", (dir / "s.KRO").string()}).status, 0);
  ASSERT_EQ(kro({"sample", "--raw", "-o", (dir / "raw").string()}).status, 0);
  std::filesystem::create_symlink(dir / "s.KRO", dir / "link.xlsx");
  const std::string kro0 = test::readBytes(dir / "s.KRO");
  const std::string dat = test::readBytes(dir / "raw" / "W003.DAT");
  const std::string s = (dir / "s.KRO").string();
  const std::string dex = (dir / "raw" / "SAMPLE.DEX").string();
  const std::string serial = (dir / "s.serial").string();
  test::writeBytes(serial, encodeSerialBlock(makeSampleProject()).value());
  const std::vector<std::vector<std::string>> runs = {
      {"excel", s, "-o", s},
      {"excel", s, "-o", (dir / "link.xlsx").string()},
      {"print", s, "-o", (dir / "." / "s.KRO").string()},
      {"convert", "--selection", dex, "-o", dex},
      {"convert", dex, "-o", (dir / "raw" / "W003.DAT").string()},
      {"excel", dex, "-o", (dir / "raw" / "SAMPLE.DEX").string()},
      {"decode", "--serial", serial, "-o", serial},
  };
  for (const auto& run : runs) {
    CommandRun r = kro(run);
    EXPECT_EQ(r.status, 1) << run[0] << " " << run.back();
    EXPECT_NE(r.err.find("输入文件"), std::string::npos) << r.err;
  }
  EXPECT_EQ(test::readBytes(dir / "s.KRO"), kro0);
  EXPECT_EQ(test::readBytes(dir / "raw" / "W003.DAT"), dat);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.xlsx"));

  // Nor a device, nor one name of a hard-linked file unless asked to write it in place.
  EXPECT_NE(kro({"convert", s, "-o", "/dev/null"}).err.find("不是普通文件"), std::string::npos);
  std::filesystem::create_hard_link(dir / "raw" / "W003.DAT", dir / "twin.KRO");
  EXPECT_EQ(kro({"convert", s, "-o", (dir / "twin.KRO").string()}).status, 1);
  EXPECT_EQ(kro({"convert", s, "-o", (dir / "twin.KRO").string(), "--force-in-place"}).status, 0);
  EXPECT_EQ(test::readBytes(dir / "raw" / "W003.DAT"), kro0);
}
#endif

// "-" stands for standard input and output, so commands can be chained.
// Chinese file names in and out, as offices name their projects: the names are UTF-8 texts made
// into the system's paths (wide names on Windows) by every command. print runs in kro-qt.
TEST_F(CliTest, ChineseFileNamesInAndOut) {
  ASSERT_EQ(kro({"sample", "-o", (dir / "报告.KRO").string()}).status, 0);
  ASSERT_TRUE(std::filesystem::exists(dir / "报告.KRO"));
  CommandRun excel = kro({"excel", (dir / "报告.KRO").string(), "-o", (dir / "数据.xlsx").string()});
  EXPECT_EQ(excel.status, 0) << excel.err;
  EXPECT_EQ(test::readBytes(dir / "数据.xlsx").substr(0, 2), "PK");
#ifndef _WIN32
  CommandRun print = kro({"print", (dir / "报告.KRO").string(), "-o", (dir / "检测报告.pdf").string(),
                          "--config-dir", dir.path().string()});
  EXPECT_EQ(print.status, 0) << print.err;
  EXPECT_EQ(test::readBytes(dir / "检测报告.pdf").substr(0, 5), "%PDF-");
#endif
}

TEST_F(CliTest, StandardInputAndOutputStandForFiles) {
  const std::string sample = encodeMembers(makeSampleProject(), MemberLayout::Analysis);
  CommandRun csv = kro({"export", "--csv", "-", "-o", "-"}, sample);
  ASSERT_EQ(csv.status, 0) << csv.err;
  CommandRun back = kro({"import", "-", "-o", "-"}, csv.out);
  ASSERT_EQ(back.status, 0) << back.err;
  CommandRun converted = kro({"convert", "-", "-o", "-"}, back.out);
  ASSERT_EQ(converted.status, 0) << converted.err;
  auto members = decodeAnalysisFile(converted.out);
  ASSERT_TRUE(members.ok());
  EXPECT_EQ(members.value().size(), 12u);
  EXPECT_EQ(members.value()[3].readingAt(5), makeSampleProject()[3].readingAt(5));
  EXPECT_NE(kro({"info", "-"}, sample).out.find("文件：标准输入"), std::string::npos);
  EXPECT_EQ(kro({"info", "-"}, "not a project").status, 1);
}

#ifndef _WIN32  // POSIX only
// A command whose printed output cannot be written says so and fails, as the real program run
// with its standard output on a full disk.
TEST_F(CliTest, OutputThatCannotBeWrittenFails) {
  const char* bin = std::getenv("KRO_BIN_DIR");
  if (bin == nullptr) GTEST_SKIP() << "KRO_BIN_DIR not set";
  const std::string program = std::string(bin) + "/kro";
  const std::string s = samplePath();
  std::vector<MemberRecord> fewer = makeSampleProject();
  fewer.pop_back();
  ASSERT_TRUE(writeAnalysisFile(dir / "fewer.KRO", fewer).ok());
  const std::vector<std::pair<std::vector<std::string>, int>> runs = {
      {{"info", s}, 1},
      {{"info", s, "--json"}, 1},
      {{"stats", s}, 1},
      {{"params", s}, 1},
      {{"export", "--csv", s, "-o", "-"}, 1},
      {{"check", s}, 2},
      {{"diff", s, (dir / "fewer.KRO").string()}, 2}};
  for (const auto& [args, expected] : runs) {
    const pid_t child = ::fork();
    if (child == 0) {
      const int full = ::open("/dev/full", O_WRONLY);
      const int quiet = ::open("/dev/null", O_WRONLY);
      ::dup2(full, 1);
      ::dup2(quiet, 2);
      std::vector<char*> argv = {const_cast<char*>(program.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(99);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == expected) << args[0] << " " << status;
  }
}
#endif

#ifndef _WIN32  // POSIX only
TEST_F(CliTest, EveryOutputKeepsPermissionsAndSymbolicLinks) {
  if (const char* bin = std::getenv("KRO_BIN_DIR")) test::setEnvironment("KRO_TEMPLATE_DIR", bin);
  ASSERT_EQ(kro({"sample", "-o", (dir / "s.KRO").string()}).status, 0);
  std::filesystem::create_directories(dir / "real");
  std::filesystem::create_directories(dir / "reports");
  const std::vector<std::pair<std::filesystem::path, std::vector<std::string>>> outputs = {
      {dir / "out.KRO", {"convert", (dir / "s.KRO").string(), "-o", (dir / "out.KRO").string()}},
      {dir / "out.xlsx", {"excel", (dir / "s.KRO").string(), "-o", (dir / "out.xlsx").string()}},
      {dir / "out.pdf", {"print", (dir / "s.KRO").string(), "-o", (dir / "out.pdf").string()}},
      {dir / "reports" / pathFromUtf8("楼板仪报告文档.docx"),
       {"report", (dir / "s.KRO").string(), "-o", (dir / "reports").string(), "--format", "1", "--config-dir",
        dir.path().string()}},
  };
  for (const auto& [output, run] : outputs) {
    const std::filesystem::path real = dir / "real" / output.filename();
    test::writeBytes(real, "old");
    ::chmod(real.c_str(), 0600);
    std::filesystem::create_symlink(real, output);
    CommandRun r = kro(run);
    ASSERT_EQ(r.status, 0) << run[0] << ": " << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(output)) << run[0];
    EXPECT_NE(test::readBytes(real), "old") << run[0];
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << run[0];
  }
}
#endif

#ifndef _WIN32  // file names are bytes on POSIX only
// A format whose file name is no UTF-8 is listed, chosen and checked with its odd bytes as
// \xHH; the JSON stays valid.
TEST_F(CliTest, FormatNamesThatAreNoUtf8AreShownEscaped) {
  const std::filesystem::path folder = dir / "报告格式";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(test::binDir() / pathFromUtf8("自定义格式样板.docx"), folder / "\xff\xfe.docx");
  CommandRun r = kro({"formats", "--json", "--config-dir", dir.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["user"][0]["name"], "\\xFF\\xFE");
  r = kro({"formats", "--config-dir", dir.path().string()});
  EXPECT_NE(r.out.find("  \\xFF\\xFE\n"), std::string::npos) << r.out;
  r = kro({"check", samplePath(), "--format", "\\xFF\\xFE", "--json", "--config-dir", dir.path().string()});
  ASSERT_LT(r.status, 2) << r.err;
  const auto checked = nlohmann::json::parse(r.out);
  EXPECT_NE(checked.dump().find("\\\\xFF\\\\xFE"), std::string::npos) << r.out;
}
#endif

#ifndef _WIN32  // POSIX only
TEST_F(CliTest, AWriteStoppedByTheFileSizeLimitIsReported) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit limit{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    CommandRun r = kro({"sample", "-o", (dir / "s.KRO").string()});
    ::write(pipe[1], r.err.data(), r.err.size());
    ::_exit(r.status);
  }
  ::close(pipe[1]);
  std::string err;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
    err.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(err.find("文件过大"), std::string::npos) << err;
  EXPECT_NE(err.find("s.KRO"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir / "s.KRO"));
}
#endif

#ifndef _WIN32  // POSIX only
// Runs kro with the process's own error stream captured, as a library would write to it.
CommandRun kroCapturingStderr(const std::vector<std::string>& args, std::string& processStderr) {
  std::fflush(stderr);
  FILE* capture = std::tmpfile();
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(::fileno(capture), STDERR_FILENO);
  CommandRun r = kro(args);
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  std::rewind(capture);
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, capture)) > 0;)
    processStderr.append(buffer, n);
  std::fclose(capture);
  return r;
}
#endif

#ifndef _WIN32  // POSIX only
TEST_F(CliTest, FailedWritesNameTheFileAndTheReasonInChinese) {
  if (const char* bin = std::getenv("KRO_BIN_DIR")) test::setEnvironment("KRO_TEMPLATE_DIR", bin);
  test::writeBytes(dir / "file", "x");
  const std::string s = samplePath();
  // A file where a folder is expected fails for root too.
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"excel", s, "-o", (dir / "file" / "x.xlsx").string()}, "x.xlsx"},
      {{"print", s, "-o", (dir / "file" / "x.pdf").string(), "--config-dir", dir.path().string()}, "x.pdf"},
      {{"excel", s, "-o", (dir / "missing" / "x.xlsx").string()}, "x.xlsx"},
      {{"convert", s, "-o", (dir / "file" / "x.KRO").string()}, "x.KRO"},
      {{"sample", "--raw", "-o", (dir / "file" / "raw").string()}, "raw"},
  };
  for (const auto& [run, name] : runs) {
    std::string processStderr;
    CommandRun r = kroCapturingStderr(run, processStderr);
    EXPECT_EQ(r.status, 1) << run[0];
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    const bool reasonGiven =
        r.err.find("不是文件夹") != std::string::npos || r.err.find("不存在") != std::string::npos;
    EXPECT_TRUE(reasonGiven) << r.err;
    EXPECT_EQ(r.err.find("。。"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Not a directory"), std::string::npos) << r.err;
    EXPECT_EQ(processStderr.find("[ERROR]"), std::string::npos) << processStderr;
  }
  EXPECT_EQ(test::entryCount(dir.path()), 1);
}
#endif

TEST_F(CliTest, InfoShowsControlCharactersEscaped) {
  MemberData d;
  d.code = "A\x1b[2J";
  d.name = "bell\x07";
  ASSERT_TRUE(writeAnalysisFile(dir / "c.KRO", Project{{MemberRecord(std::move(d))}}).ok());
  CommandRun r = kro({"info", (dir / "c.KRO").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(r.out.find('\x07'), std::string::npos);
  EXPECT_NE(r.out.find("A\\x1B[2J"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bell\\x07"), std::string::npos);
}

#ifndef _WIN32  // POSIX only
TEST_F(CliTest, PrintWritesAPdfWithoutADisplay) {
  CommandRun r =
      kro({"print", samplePath(), "-o", (dir / "r.pdf").string(), "--config-dir", dir.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::readBytes(dir / "r.pdf").substr(0, 5), "%PDF-");
  EXPECT_EQ(kro({"print", samplePath()}).status, 2);
  EXPECT_EQ(kro({"print", (dir / "none.KRO").string(), "-o", (dir / "x.pdf").string()}).status, 1);
}
#endif

TEST_F(CliTest, AReportWithoutItsDataTableIsWrittenAndTheFailureReported) {
  const char* bin = std::getenv("KRO_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  std::filesystem::create_directories(dir / "templates");
  std::filesystem::create_directories(dir / "out");
  std::filesystem::copy_file(std::filesystem::path(bin) / pathFromUtf8("检测报告3.docx"),
                             dir / "templates" / pathFromUtf8("检测报告3.docx"));
  // A data table of an earlier report lies where this one's would go.
  test::writeBytes(dir / "out" / pathFromUtf8("数据表格.docx"), "earlier");
  test::setEnvironment("KRO_TEMPLATE_DIR", (dir / "templates").string());
  CommandRun r = kro({"report", samplePath(), "-o", (dir / "out").string(), "--format", "3", "--config-dir",
                      dir.path().string()});
  test::setEnvironment("KRO_TEMPLATE_DIR", bin);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("数据表格没有生成"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("表格.docx"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / pathFromUtf8("楼板仪报告文档.docx")));
  // The earlier table no longer sits beside the new report as if it were its own.
  EXPECT_FALSE(std::filesystem::exists(dir / "out" / pathFromUtf8("数据表格.docx")));
  EXPECT_EQ(test::readBytes(dir / "out" / pathFromUtf8("数据表格-旧.docx")), "earlier");
  EXPECT_NE(r.err.find("数据表格-旧.docx"), std::string::npos) << r.err;

  // A folder of the table's name: the report is written, the folder left alone.
  std::filesystem::remove_all(dir / "out");
  std::filesystem::create_directories(dir / "out" / pathFromUtf8("数据表格.docx"));
  r = kro({"report", samplePath(), "-o", (dir / "out").string(), "--format", "3", "--config-dir",
           dir.path().string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("数据表格没有生成"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / pathFromUtf8("楼板仪报告文档.docx")));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "out" / pathFromUtf8("数据表格.docx")));
}

TEST_F(CliTest, ReportAndExcel) {
  if (const char* bin = std::getenv("KRO_BIN_DIR")) test::setEnvironment("KRO_TEMPLATE_DIR", bin);
  const auto config = dir / "config";
  std::filesystem::create_directories(config);
  CommandRun unchosen =
      kro({"report", samplePath(), "-o", dir.path().string(), "--config-dir", config.string()});
  EXPECT_EQ(unchosen.status, 1);
  EXPECT_NE(unchosen.err.find("报告格式"), std::string::npos);
  CommandRun r = kro(
      {"report", samplePath(), "-o", dir.path().string(), "--format", "3", "--config-dir", config.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / pathFromUtf8("楼板仪报告文档.docx")));
  EXPECT_TRUE(std::filesystem::exists(dir / pathFromUtf8("数据表格.docx")));
  EXPECT_EQ(kro({"report", samplePath(), "-o", dir.path().string(), "--format", "7"}).status, 2);
  EXPECT_EQ(kro({"report", samplePath(), "-o", (dir / "missing").string(), "--format", "1"}).status, 1);
  ASSERT_EQ(kro({"excel", samplePath(), "-o", (dir / "w.xlsx").string()}).status, 0);
  EXPECT_EQ(test::readBytes(dir / "w.xlsx").substr(0, 2), "PK");
}

// "-o -" is standard output for every command that writes one file, the same bytes as a file
// gets; no command writes a file named "-", and those that write a folder or keep files beside
// their output refuse it.
TEST_F(CliTest, EveryOneFileOutputGoesToStandardOutput) {
  const std::string s = samplePath();
  const std::string config = (dir / "config").string();
  ASSERT_EQ(kro({"convert", s, "-o", (dir / "c.KRO").string()}).status, 0);
  ASSERT_EQ(kro({"export", "--csv", s, "-o", (dir / "e.csv").string()}).status, 0);
  const std::vector<std::pair<std::vector<std::string>, std::string>> writers = {
      {{"convert", s}, test::readBytes(dir / "c.KRO")},
      {{"export", "--csv", s}, test::readBytes(dir / "e.csv")},
      {{"params", s, "--set", "工程名称=甲"}, ""},
      {{"sample", "--config-dir", config}, ""},
      {{"import", (dir / "e.csv").string(), "--config-dir", config}, ""},
      {{"excel", s}, ""},
  };
  for (auto [args, expected] : writers) {
    args.insert(args.end(), {"-o", "-"});
    CommandRun r = kro(args);
    ASSERT_EQ(r.status, 0) << args[0] << ": " << r.err;
    if (!expected.empty()) {
      EXPECT_EQ(r.out, expected) << args[0];
    }
    if (args[0] == "excel") {
      EXPECT_EQ(r.out.substr(0, 2), "PK");
    } else if (args[0] != "export") {
      EXPECT_TRUE(loadProjectBytes("-", r.out).ok()) << args[0];
    }
    EXPECT_FALSE(std::filesystem::exists("-")) << args[0];
  }
  EXPECT_EQ(kro({"report", s, "-o", "-", "--format", "1"}).status, 2);
  EXPECT_EQ(kro({"sample", "--raw", "-o", "-"}).status, 2);
  EXPECT_EQ(kro({"transfer", "--serial", "COM1", "-o", "-"}).status, 2);
  EXPECT_FALSE(std::filesystem::exists("-"));
  // What went to standard output left no temporary file behind.
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".kro-output")) << entry.path();
}

}  // namespace
}  // namespace kro
