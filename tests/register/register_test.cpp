// The office's register through kro register and kro issue, as an office uses it: three people
// sign off each report, numbers run on without gaps or repeats whatever runs at once or is
// killed, an amended report replaces the earlier one, and the ledgers and documents say so.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <QGuiApplication>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "model/analysis_file.h"
#include "model/gbk_text.h"
#include "support/environment.h"
#include "support/kro_command.h"
#include "support/postgres_server.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

using test::CommandRun;
using test::kro;

// A one-member project: all readings at the design thickness (合格), or far below (不合格).
void writeProject(const std::filesystem::path& file, bool passing, const std::string& name) {
  MemberData d;
  d.code = "0001";
  d.name = *utf8ToGbk("一层楼板");
  d.testDate = *utf8ToGbk("2026年12月01日");
  d.designThickness = 120;
  for (int k = 0; k < 10; ++k) d.readings.push_back({0, passing ? 120 : 100, 0});
  Project project{{MemberRecord(std::move(d))}};
  project.parameters.values = {{*utf8ToGbk("工程名称"), *utf8ToGbk(name)}};
  project.parameters.stored = true;
  ASSERT_TRUE(writeAnalysisFile(file, project).ok());
}

std::string shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

enum class Backend { Sqlite, Server };

// One server for the tests of a run, a database of its own for each test.
test::PostgresServer& server() {
  static test::PostgresServer s;
  return s;
}

class RegisterTest : public ::testing::TestWithParam<Backend> {
 protected:
  RegisterTest() {
    if (GetParam() == Backend::Server) {
      static int databases = 0;
      const std::string name = "register" + std::to_string(++databases);
      if (server().ok && server().createDatabase(name)) location_ = server().address(name);
    } else {
      location_ = (dir / "r.sqlite").string();
    }
    if (location_.empty()) return;
    test::setEnvironment("KRO_PIN", "2468");
    test::setEnvironment("KRO_TEMPLATE_DIR", test::binDir().string());
    std::filesystem::create_directories(dir / "out");
    for (const auto& [name, roles] : {std::pair{"张工", "检测"}, std::pair{"李工", "审核"},
                                      std::pair{"王工", "批准,审核"}, std::pair{"赵工", "检测,审核,批准"}}) {
      EXPECT_EQ(run({"register", "people", "add", name, "--roles", roles}).status, 0);
    }
    EXPECT_EQ(run({"register", "instruments", "add", "--name", "楼板测厚仪", "--serial", "T-1",
                   "--certificate", "JZ-001", "--calibrated", "2026-03-01", "--due", "2099-02-28"})
                  .status,
              0);
    EXPECT_EQ(run({"register", "numbering", "--pattern", "LBHD-{年}-{序号:4}"}).status, 0);
  }
  ~RegisterTest() override { test::unsetEnvironment("KRO_PIN"); }

  void SetUp() override {
    // scripts/install-deps.sh installs the server: a test that cannot start one fails.
    if (location_.empty()) GTEST_FAIL() << "no PostgreSQL server for the tests: " << server().why;
  }
  CommandRun run(std::vector<std::string> args) {
    args.insert(args.end(), {"--register", location_, "--config-dir", dir.path().string()});
    return kro(args);
  }
  // The three steps; the approval's output.
  CommandRun issue(const std::string& project, const std::string& instrument = "T-1") {
    const std::string file = (dir / project).string();
    EXPECT_EQ(run({"issue", file, "--as", "张工", "--format", "1", "--instrument", instrument}).status, 0);
    EXPECT_EQ(run({"issue", file, "--as", "李工"}).status, 0);
    return run({"issue", file, "--as", "王工", "-o", (dir / "out").string()});
  }
  // The project's identity, as its file holds it.
  std::string identity(const std::string& file) {
    const std::string shown = kro({"params", file}).out;
    const std::size_t at = shown.find("工程标识：");
    return at == std::string::npos ? std::string() : shown.substr(at + std::string("工程标识：").size(), 36);
  }
  nlohmann::json reports(const std::string& which = "list") {
    CommandRun r = run({"register", which, "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out)["reports"];
  }
  test::TempDir dir;
  std::string location_;
};

TEST_P(RegisterTest, ReportsAreIssuedAmendedVoidedAndListed) {
  writeProject(dir / "a.KRO", true, "一号楼");
  writeProject(dir / "b.KRO", false, "二号楼");
  writeProject(dir / "c.KRO", true, "三号楼");
  // One person takes one step of a report: 赵工 drafts, and may then neither review nor approve.
  const std::string a = (dir / "a.KRO").string();
  ASSERT_EQ(run({"issue", a, "--as", "赵工", "--format", "1", "--instrument", "T-1"}).status, 0);
  CommandRun twice = run({"issue", a, "--as", "赵工"});
  EXPECT_EQ(twice.status, 1);
  EXPECT_NE(twice.err.find("不能再审核"), std::string::npos) << twice.err;
  // A wrong PIN signs nobody in.
  test::setEnvironment("KRO_PIN", "1357");
  EXPECT_NE(run({"issue", a, "--as", "李工"}).err.find("个人密码（PIN）不对"), std::string::npos);
  test::setEnvironment("KRO_PIN", "2468");
  ASSERT_EQ(run({"issue", a, "--as", "李工"}).status, 0);
  CommandRun approved = run({"issue", a, "--as", "王工", "-o", (dir / "out").string()});
  ASSERT_EQ(approved.status, 0) << approved.err;
  EXPECT_NE(approved.out.find("已签发 LBHD-2026-0001 第 1 版"), std::string::npos) << approved.out;
  ASSERT_EQ(issue("b.KRO").status, 0);
  ASSERT_EQ(issue("c.KRO").status, 0);

  // The number, revision and names in the documents: every page of the PDF, the Word report.
  const std::filesystem::path pdf = dir / "out" / pathFromUtf8("LBHD-2026-0001-第1版.pdf");
  const int pages = std::stoi(shell("pdfinfo '" + pdf.string() + "' | sed -n 's/^Pages: *//p'"));
  ASSERT_GT(pages, 2);
  for (int p = 1; p <= pages; ++p) {
    const std::string text =
        shell("pdftotext -f " + std::to_string(p) + " -l " + std::to_string(p) + " '" + pdf.string() + "' -");
    EXPECT_NE(text.find("报告编号：LBHD-2026-0001 第 1 版"), std::string::npos) << "page " << p << "\n"
                                                                                << text;
  }
  const std::string signed_ = shell("pdftotext '" + pdf.string() + "' - | tr -d ' \\n'");
  EXPECT_NE(signed_.find("主检人赵工"), std::string::npos) << signed_;
  const std::string word = shell(
      "/usr/bin/python3 -c \"import docx,sys; d=docx.Document(sys.argv[1]); "
      "print(d.sections[0].header.paragraphs[0].text); print(*[p.text for p in d.paragraphs], sep='\\n')\" "
      "'" +
      (dir / "out" / pathFromUtf8("LBHD-2026-0001-第1版.docx")).string() + "'");
  EXPECT_NE(word.find("报告编号：LBHD-2026-0001  第 1 版"), std::string::npos) << word;
  EXPECT_NE(word.find("检测：赵工"), std::string::npos);
  EXPECT_NE(word.find("批准：王工"), std::string::npos);
  EXPECT_NE(word.find("校准证书：JZ-001，有效期至 2099-02-28"), std::string::npos);

  // Amended after issue: the same number's second revision, replacing the first.
  writeProject(dir / "edited.KRO", true, "一号楼（更正）");
  const std::string uuid = identity(a);
  ASSERT_EQ(uuid.size(), 36u);
  ASSERT_EQ(kro({"params", (dir / "edited.KRO").string(), "--set", "工程标识=" + uuid, "-o", a}).status, 0);
  CommandRun amended = issue("a.KRO");
  ASSERT_EQ(amended.status, 0) << amended.err;
  EXPECT_NE(amended.out.find("已签发 LBHD-2026-0001 第 2 版"), std::string::npos) << amended.out;
  EXPECT_NE(amended.out.find("代替 LBHD-2026-0001 第 1 版"), std::string::npos);
  EXPECT_NE(shell("pdftotext '" + (dir / "out" / pathFromUtf8("LBHD-2026-0001-第2版.pdf")).string() + "' -")
                .find("第 2 版"),
            std::string::npos);
  // Voided: by an approver, with a reason.
  EXPECT_EQ(run({"register", "void", "LBHD-2026-0003", "--as", "李工", "--reason", "委托撤回"}).status, 1);
  ASSERT_EQ(run({"register", "void", "LBHD-2026-0003", "--as", "王工", "--reason", "委托撤回"}).status, 0);

  const nlohmann::json all = reports();
  ASSERT_EQ(all.size(), 4u);
  std::map<std::string, std::string> states;
  for (const auto& r : all)
    states[r["number"].get<std::string>() + "/" + std::to_string(r["revision"].get<int>())] = r["state"];
  EXPECT_EQ(states, (std::map<std::string, std::string>{{"LBHD-2026-0001/1", "superseded"},
                                                        {"LBHD-2026-0001/2", "issued"},
                                                        {"LBHD-2026-0002/1", "issued"},
                                                        {"LBHD-2026-0003/1", "void"}}));
  EXPECT_EQ(all[0]["tester"], "张工");
  EXPECT_EQ(all[0]["files"].size(), 3u);
  const nlohmann::json failing = reports("failing");
  ASSERT_EQ(failing.size(), 1u);
  EXPECT_EQ(failing[0]["number"], "LBHD-2026-0002");
  EXPECT_EQ(failing[0]["project"], "二号楼");

  // The workbook, read by another program: a sheet per ledger.
  const auto book = dir / "台账.xlsx";
  ASSERT_EQ(run({"register", "export", "--xlsx", "-o", book.string()}).status, 0);
  const std::string sheets = shell(
      "/usr/bin/python3 -c \"import openpyxl,sys; b=openpyxl.load_workbook(sys.argv[1]); "
      "print(b.sheetnames); print(b['不合格台账']['A2'].value, b['报告'].max_row, b['仪器']['F2'].value)\" "
      "'" +
      book.string() + "'");
  EXPECT_NE(sheets.find("['报告', '不合格台账', '仪器', '人员']"), std::string::npos) << sheets;
  EXPECT_NE(sheets.find("LBHD-2026-0002 5 有效"), std::string::npos) << sheets;

  // The register's check: nothing, until a document is changed.
  EXPECT_EQ(run({"register", "verify"}).status, 0);
  test::writeBytes(dir / "out" / pathFromUtf8("LBHD-2026-0002-第1版.pdf"), "changed");
  CommandRun verified = run({"register", "verify"});
  EXPECT_EQ(verified.status, 1);
  EXPECT_NE(verified.out.find("LBHD-2026-0002 第 1 版 的文件"), std::string::npos) << verified.out;
}

// The signed code: on paper (read back by zbarimg, an independent reader), in the documents'
// properties, checked by kro verify against the office's keys; anything changed is refused.
TEST_P(RegisterTest, IssuedReportsCarryACodeAnyoneCanCheck) {
  test::setEnvironment("KRO_PASSPHRASE", "office-secret-1");
  ASSERT_EQ(run({"register", "key", "new", "--as", "王工", "--office", "某某检测中心"}).status, 0);
  ASSERT_EQ(run({"register", "code", "--address", "https://jc.example.cn/v"}).status, 0);
  writeProject(dir / "a.KRO", true, "一号楼");
  writeProject(dir / "b.KRO", false, "二号楼");
  // A wrong passphrase takes no number.
  test::setEnvironment("KRO_PASSPHRASE", "wrong-passphrase");
  CommandRun refused = issue("a.KRO");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("口令不对"), std::string::npos) << refused.err;
  test::setEnvironment("KRO_PASSPHRASE", "office-secret-1");
  ASSERT_EQ(run({"issue", (dir / "a.KRO").string(), "--as", "王工", "-o", (dir / "out").string()}).status, 0);
  ASSERT_EQ(issue("b.KRO").status, 0);

  const std::filesystem::path out = dir / "out";
  const std::string pdf = (out / pathFromUtf8("LBHD-2026-0001-第1版.pdf")).string();
  const std::string docx = (out / pathFromUtf8("LBHD-2026-0001-第1版.docx")).string();
  const std::string code =
      shell("pdftoppm -r 300 -f 1 -l 1 -png '" + pdf + "' '" + (dir / "page").string() +
            "' && zbarimg -q --raw '" + (dir / "page-1.png").string() + "' | tr -d '\\n'");
  ASSERT_TRUE(code.starts_with("https://jc.example.cn/v#")) << code;
  EXPECT_NE(shell("unzip -p '" + docx + "' docProps/custom.xml").find(code), std::string::npos);
  for (const std::string& file : {pdf, docx}) {
    CommandRun checked = run({"verify", file, "--project", (dir / "a.KRO").string()});
    EXPECT_EQ(checked.status, 0) << file << "\n" << checked.out << checked.err;
    EXPECT_NE(checked.out.find("签名有效"), std::string::npos);
    EXPECT_NE(checked.out.find("报告编号：LBHD-2026-0001 第 1 版"), std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("某某检测中心"), std::string::npos);
  }
  EXPECT_EQ(run({"verify", "--code", code}).status, 0);
  // Another project's data, one character of the code changed, another office's key.
  EXPECT_EQ(run({"verify", pdf, "--project", (dir / "b.KRO").string()}).status, 1);
  std::string changed = code;
  const std::size_t at = code.find('#') + 30;
  changed[at] = changed[at] == 'A' ? 'B' : 'A';
  CommandRun forged = run({"verify", "--code", changed});
  EXPECT_NE(forged.status, 0);
  EXPECT_EQ(forged.out.find("签名有效"), std::string::npos) << forged.out;
  {
    test::TempDir other;
    const std::vector<std::string> where = {"--register", (other / "r.sqlite").string(), "--config-dir",
                                            other.path().string()};
    auto withOther = [&](std::vector<std::string> args) {
      args.insert(args.end(), where.begin(), where.end());
      return kro(args);
    };
    ASSERT_EQ(withOther({"register", "people", "add", "钱工", "--roles", "批准"}).status, 0);
    ASSERT_EQ(withOther({"register", "key", "new", "--as", "钱工", "--office", "别的单位"}).status, 0);
    ASSERT_EQ(withOther({"register", "key", "export", "-o", (other / "keys.txt").string()}).status, 0);
    CommandRun foreign = run({"verify", pdf, "--key", (other / "keys.txt").string()});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.out.find("不在给出的公钥之中"), std::string::npos) << foreign.out;
  }
  // The office's own exported keys check it anywhere, and a new key leaves it valid.
  ASSERT_EQ(run({"register", "key", "export", "-o", (dir / "keys.txt").string()}).status, 0);
  ASSERT_EQ(run({"register", "key", "new", "--as", "王工", "--office", "某某检测中心"}).status, 0);
  EXPECT_EQ(run({"verify", pdf, "--key", (dir / "keys.txt").string()}).status, 0);

  // The verification page in a browser (Debian's chromium): the browser's own Ed25519, and the
  // inlined library when the page is told to use it; valid, changed, and later voided.
  const std::string page = (dir / "verify.html").string();
  auto shown = [&](const std::string& query, const std::string& payload) {
    const std::string dom = shell(
        "timeout 60 chromium --headless --no-sandbox --disable-gpu --virtual-time-budget=5000 "
        "--dump-dom 'file://" +
        page + query + "#" + payload + "' 2>/dev/null");
    const std::size_t at = dom.find("<div id=\"result\"");
    return at == std::string::npos ? dom : dom.substr(at, dom.find("</table>", at) - at);
  };
  const std::string payload = code.substr(code.find('#') + 1);
  std::string altered = payload;
  altered[20] = altered[20] == 'A' ? 'B' : 'A';
  if (GetParam() == Backend::Sqlite) {
    ASSERT_EQ(run({"verify-page", "-o", page}).status, 0);
    for (const std::string& query : {"", "?nacl"}) {
      const std::string valid = shown(query, payload);
      EXPECT_NE(valid.find("有效</div>"), std::string::npos) << query << valid;
      EXPECT_NE(valid.find("LBHD-2026-0001 第 1 版"), std::string::npos) << valid;
      EXPECT_NE(valid.find("100.0 %"), std::string::npos) << valid;
      EXPECT_NE(valid.find(query.empty() ? "浏览器" : "tweetnacl"), std::string::npos) << valid;
      EXPECT_NE(shown(query, altered).find("无效</div>"), std::string::npos) << query;
    }
  }

  // The rate printed in the Word report edited after signing.
  const std::string edited = (dir / "edited.docx").string();
  shell(
      "/usr/bin/python3 -c \"import zipfile,sys; a=zipfile.ZipFile(sys.argv[1]); "
      "b=zipfile.ZipFile(sys.argv[2],'w'); "
      "[b.writestr(i, a.read(i).replace(b'100.0', b'99.0') if i.filename=='word/document.xml' else "
      "a.read(i)) "
      "for i in a.infolist()]; b.close()\" '" +
      docx + "' '" + edited + "'");
  CommandRun rate = run({"verify", edited});
  EXPECT_EQ(rate.status, 1);
  EXPECT_NE(rate.out.find("合格率"), std::string::npos) << rate.out;
  // Voided in the register: the code still reads, the report is no longer valid.
  ASSERT_EQ(run({"register", "void", "LBHD-2026-0001", "--as", "王工", "--reason", "委托撤回"}).status, 0);
  CommandRun voided = run({"verify", pdf});
  EXPECT_EQ(voided.status, 1);
  EXPECT_NE(voided.out.find("已作废"), std::string::npos) << voided.out;
  if (GetParam() == Backend::Sqlite) {
    ASSERT_EQ(run({"verify-page", "-o", page}).status, 0);
    EXPECT_NE(shown("", payload).find("已作废</div>"), std::string::npos);
    ASSERT_EQ(run({"register", "void-list", "-o", (dir / "void-list.json").string()}).status, 0);
    EXPECT_NE(test::readBytes(dir / "void-list.json").find("\"number\": \"LBHD-2026-0001\", \"revision\": 1"),
              std::string::npos);
  }
  test::unsetEnvironment("KRO_PASSPHRASE");
}

TEST_P(RegisterTest, LapsedInstrumentsAndChangedProjectsAreRefused) {
  ASSERT_EQ(run({"register", "instruments", "add", "--name", "旧仪器", "--serial", "T-0", "--certificate",
                 "JZ-000", "--calibrated", "2020-01-01", "--due", "2021-01-01"})
                .status,
            0);
  writeProject(dir / "a.KRO", true, "一号楼");
  const std::string a = (dir / "a.KRO").string();
  CommandRun refused = run({"issue", a, "--as", "张工", "--format", "1", "--instrument", "T-0"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("已于 2021-01-01 过期"), std::string::npos) << refused.err;
  EXPECT_TRUE(reports().empty());
  ASSERT_EQ(
      run({"issue", a, "--as", "张工", "--format", "1", "--instrument", "T-0", "--force-expired"}).status, 0);
  // Changed after drafting: the reviewer is told, and nothing moves on.
  const std::string bytes = test::readBytes(dir / "a.KRO");
  writeProject(dir / "b.KRO", false, "一号楼");
  ASSERT_EQ(kro({"params", (dir / "b.KRO").string(), "--set", "工程标识=" + identity(a), "-o",
                 (dir / "changed.KRO").string()})
                .status,
            0);
  std::filesystem::copy_file(dir / "changed.KRO", dir / "a.KRO",
                             std::filesystem::copy_options::overwrite_existing);
  CommandRun changed = run({"issue", a, "--as", "李工"});
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.err.find("在起草后被修改过"), std::string::npos) << changed.err;
  test::writeBytes(dir / "a.KRO", bytes);
  ASSERT_EQ(run({"issue", a, "--as", "李工"}).status, 0);
  ASSERT_EQ(run({"issue", a, "--as", "王工", "-o", (dir / "out").string()}).status, 0);
  CommandRun verified = run({"register", "verify"});
  EXPECT_NE(verified.out.find("已过校准有效期（2021-01-01）"), std::string::npos) << verified.out;
  // A number typed in place of the pattern's is used once only.
  writeProject(dir / "c.KRO", true, "三号楼");
  writeProject(dir / "d.KRO", true, "四号楼");
  for (const char* project : {"c.KRO", "d.KRO"}) {
    const std::string file = (dir / project).string();
    ASSERT_EQ(run({"issue", file, "--as", "张工", "--format", "1", "--instrument", "T-1"}).status, 0);
    ASSERT_EQ(run({"issue", file, "--as", "李工"}).status, 0);
  }
  EXPECT_EQ(run({"issue", (dir / "c.KRO").string(), "--as", "王工", "--number", "WT-7", "-o",
                 (dir / "out").string()})
                .status,
            0);
  CommandRun reused = run(
      {"issue", (dir / "d.KRO").string(), "--as", "王工", "--number", "WT-7", "-o", (dir / "out").string()});
  EXPECT_NE(reused.err.find("已经用过"), std::string::npos) << reused.err;
  if (GetParam() == Backend::Server) return;  // backed up by the server's own means
  // A backup, and the register restored from it: what came after is gone from it, and the
  // register it replaced is kept beside it.
  ASSERT_EQ(run({"register", "backup", "-o", (dir / "copy.sqlite").string()}).status, 0);
  ASSERT_EQ(run({"register", "people", "add", "钱工", "--roles", "检测"}).status, 0);
  ASSERT_EQ(run({"register", "restore", (dir / "copy.sqlite").string()}).status, 0);
  EXPECT_EQ(run({"register", "people", "list"}).out.find("钱工"), std::string::npos);
  test::writeBytes(dir / "not.sqlite", "no register");
  EXPECT_EQ(run({"register", "restore", (dir / "not.sqlite").string()}).status, 1);
  EXPECT_EQ(reports().size(), 2u);
  // A register of a newer program is left alone.
  if (GetParam() == Backend::Server) return;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "r.sqlite").string().c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "UPDATE register_meta SET value = '99' WHERE key = 'schema'", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_NE(run({"register", "list"}).err.find("较新版本"), std::string::npos);
}

// Separate programs at once, or one killed at any point of an approval: numbers stay
// consecutive and unique, and no document has a final name without its number committed.
TEST_P(RegisterTest, ApprovalsAtOnceAndKilledApprovalsKeepNumbersConsecutive) {
  constexpr int kLanes = 4, kPerLane = 50, kReports = kLanes * kPerLane;
  const std::string kro = (test::binDir() / "kro").string();
  const std::string where = " --register '" + location_ + "' --config-dir '" + dir.path().string() + "'";
  // One step of a project's sign-off by a kro program of its own (stop: where it is killed).
  auto step = [&](int k, const std::string& as, const std::string& stop = "none") {
    return std::system(("cd '" + dir.path().string() + "' && KRO_PIN=2468 KRO_TEST_STOP_ISSUE_AT=" + stop +
                        " '" + kro + "' issue p" + std::to_string(k) + ".KRO --as " + as +
                        " --format 1 --instrument T-1 -o out" + where + " >/dev/null 2>&1")
                           .c_str());
  };
  for (int k = 0; k < kReports + 2; ++k)
    writeProject(dir / ("p" + std::to_string(k) + ".KRO"), true, "楼 " + std::to_string(k));
  for (int k = kReports; k < kReports + 2; ++k) {
    ASSERT_EQ(step(k, "张工"), 0);
    ASSERT_EQ(step(k, "李工"), 0);
  }
  // Killed while the documents are written under their hidden names, and with the number taken
  // but not committed: nothing is numbered, nothing named.
  for (const char* stop : {"documents", "numbered"}) {
    const int status = step(kReports, "王工", stop);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 137) << stop;
    EXPECT_TRUE(reports().empty()) << stop;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "out"))
      EXPECT_EQ(entry.path().filename().string()[0], '.') << entry.path();
  }
  // Four programs at once, each taking its reports through the three steps.
  std::vector<std::thread> lanes;
  std::atomic<int> failures{0};
  for (int lane = 0; lane < kLanes; ++lane) {
    lanes.emplace_back([&, lane] {
      for (int k = lane * kPerLane; k < (lane + 1) * kPerLane; ++k) {
        for (const char* as : {"张工", "李工", "王工"}) failures += step(k, as) != 0 ? 1 : 0;
      }
    });
  }
  for (std::thread& t : lanes) t.join();
  EXPECT_EQ(failures, 0);
  auto numbers = [&] {
    std::set<std::string> all;
    for (const auto& r : reports()) all.insert(r["number"].get<std::string>());
    return all;
  };
  auto numbered = [](int last) {
    std::set<std::string> all;
    for (int n = 1; n <= last; ++n) {
      const std::string digits = std::to_string(n);
      all.insert("LBHD-2026-" + std::string(4 - digits.size(), '0') + digits);
    }
    return all;
  };
  EXPECT_EQ(numbers(), numbered(kReports));
  // Killed after the commit, before the names are given: the number stands, and the check names
  // the documents still under their hidden names.
  const int status = step(kReports + 1, "王工", "committed");
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 137);
  CommandRun verified = run({"register", "verify"});
  EXPECT_NE(verified.out.find("LBHD-2026-0201 第 1 版 的文件"), std::string::npos) << verified.out;
  EXPECT_EQ(verified.out.find("没有第"), std::string::npos) << verified.out;
  EXPECT_EQ(step(kReports, "王工"), 0);
  EXPECT_EQ(numbers(), numbered(kReports + 2));
}

// A register copied to a server and back keeps every row: the same ledgers, and its numbers
// go on from where they were.
TEST_P(RegisterTest, ACopyKeepsEveryRowAndNumbersGoOn) {
  if (GetParam() != Backend::Sqlite || !server().ok) GTEST_SKIP() << "copies between a file and a server";
  writeProject(dir / "a.KRO", true, "一号楼");
  writeProject(dir / "b.KRO", false, "二号楼");
  ASSERT_EQ(issue("a.KRO").status, 0);
  const std::string before = run({"register", "list", "--json"}).out;
  ASSERT_TRUE(server().createDatabase("copied"));
  CommandRun copied = run({"register", "copy", "--to", server().address("copied")});
  ASSERT_EQ(copied.status, 0) << copied.err;
  // Refused into a register that has rows.
  EXPECT_EQ(run({"register", "copy", "--to", server().address("copied")}).status, 1);
  location_ = server().address("copied");
  EXPECT_EQ(run({"register", "list", "--json"}).out, before);
  ASSERT_EQ(issue("b.KRO").status, 0);
  EXPECT_NE(run({"register", "list"}).out.find("LBHD-2026-0002"), std::string::npos);
  ASSERT_EQ(run({"register", "copy", "--to", (dir / "back.sqlite").string()}).status, 0);
  const std::string onServer = run({"register", "list", "--json"}).out;
  location_ = (dir / "back.sqlite").string();
  EXPECT_EQ(run({"register", "list", "--json"}).out, onServer);
  EXPECT_EQ(run({"register", "verify"}).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, RegisterTest, ::testing::Values(Backend::Sqlite, Backend::Server),
                         [](const auto& backend) {
                           return backend.param == Backend::Sqlite ? "Sqlite" : "Server";
                         });

}  // namespace
}  // namespace kro

// One application for every kro issue of the run, as one kro-qt process has.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
