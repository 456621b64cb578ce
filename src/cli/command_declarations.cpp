// The commands' declarations and what is made from them.
#include "cli/command_declarations.h"

namespace kro::cli {

namespace {

using C = Completion;

OptionDeclaration output(std::string_view argument, std::string_view help) {
  return {"-o", argument, help, argument == "DIR" ? C::Folder : C::OutputFile};
}
const OptionDeclaration kJson{"--json", "", "以 JSON 输出（一个对象，带 \"formatVersion\": 2）"};
const OptionDeclaration kConfigDir{"--config-dir", "DIR", "设置文件（打印设置、报告参数）所在的文件夹",
                                   C::Folder};
const OptionDeclaration kFormat{
    "--format", "N",
    "报告格式：1..6（检测报告1..4、甘肃格式、吉林报告），用户格式的名称，或一个 .docx 格式文件", C::Format};
const OptionDeclaration kRegister{
    "--register", "LOCATION",
    "台账：文件，或台账服务器 postgresql://用户@主机:端口/数据库（默认为设置中的，或用户数据文件夹中的 "
    "register.sqlite）",
    C::OutputFile};
const OptionDeclaration kInPlace{kForceInPlace, "", "输出文件有多个硬链接时原地改写它（不是原子替换）"};

std::vector<CommandDeclaration> makeDeclarations() {
  return {
      {"info", "显示文件中的构件和统计数字", {"FILE [--json]"}, C::InputFile, {kJson}, 1, "", true, false},
      {"convert",
       "以分析结果文件格式保存，或保存选择构件文件",
       {"FILE -o OUT.KRO [--config-dir DIR]", "FILE --selection -o OUT.DEX", "FILE --recover -o OUT.KRO"},
       C::InputFile,
       {output("OUT", "输出文件（- 为标准输出）"),
        {"--selection", "", "写出选择构件文件（.DEX）"},
        {"--recover", "", "损坏的分析结果文件：写出损坏处之前的构件"},
        kConfigDir,
        kInPlace},
       1,
       "输出文件",
       false,
       false},
      {"sample",
       "生成示例工程",
       {"-o OUT.KRO [--config-dir DIR]", "--raw -o DIR"},
       C::None,
       {output("OUT", "输出文件（- 为标准输出），或 --raw 时的文件夹"),
        {"--raw", "", "以仪器原始数据文件（.DEX 与 .DAT）生成"},
        kConfigDir,
        kInPlace},
       0,
       "输出",
       false,
       false},
      {"decode",
       "解码截获的串口数据块或 USB 存储映像",
       {"--serial RAW -o OUT.KRO [--first-block] [--config-dir DIR]",
        "--usb RAW -o OUT.KRO [--config-dir DIR]"},
       C::RawFile,
       {{"--serial", "", "输入是串口数据块"},
        {"--usb", "", "输入是 USB 存储映像"},
        {"--first-block", "", "串口数据比声明的长时只解码声明长度内的第一个数据块"},
        output("OUT", "输出文件（- 为标准输出）"),
        kConfigDir,
        kInPlace},
       1,
       "输出文件",
       false,
       false},
      {"simulate",
       "在虚拟串口上模拟仪器，首行输出串口路径（仅 Linux 版）",
       {"FILE [--fast]"},
       C::InputFile,
       {{"--fast", "", "全速发送，不按 2400 波特"}},
       1,
       "",
       true,
       false},
      {"ports", "列出找到的串口和 USB 仪器", {"[--json]"}, C::None, {kJson}, 0, "", false, false},
      {"transfer",
       "从仪器传输数据",
       {"--serial PORT -o OUT.KRO [--timeout SECONDS]", "--usb INDEX -o OUT.KRO [--timeout SECONDS]"},
       C::None,
       {{"--serial", "PORT", "串口：COM1..COM6 或设备路径", C::Port},
        {"--usb", "INDEX", "USB 设备序号（USB1 为 0）"},
        {"--timeout", "SECONDS",
         "仪器无响应多久后放弃，也是传输在声明的数据所需时间的两倍之外最多再用的时间（默认 60 秒）"},
        output("OUT.KRO", "输出的分析结果文件"),
        kConfigDir,
        kInPlace},
       0,
       "输出文件",
       false,
       false,
       "transfer 需要用 -o 指定输出文件，不能写到标准输出"},
      {"report",
       "生成 Word 报告和数据表格",
       {"FILE -o DIR [--format N] [--config-dir DIR]"},
       C::InputFile,
       {output("DIR", "输出文件夹"), kFormat, kConfigDir, kInPlace},
       1,
       "输出文件夹",
       true,
       false,
       "report 写出报告和数据表格两个文件，-o 需要文件夹而不是“-”"},
      {"excel",
       "将勾选构件的数据导出为工作簿",
       {"FILE -o OUT.xlsx"},
       C::InputFile,
       {output("OUT.xlsx", "输出的工作簿（- 为标准输出）"), kInPlace},
       1,
       "输出文件",
       true,
       false},
      {"print",
       "将检测报告打印为 PDF 文件",
       {"FILE -o OUT.pdf [--config-dir DIR]"},
       C::InputFile,
       {output("OUT.pdf", "输出的 PDF 文件（- 为标准输出）"), kConfigDir, kInPlace},
       1,
       "PDF 文件",
       true,
       false},
      {"stats",
       "每个构件按测点计算的统计数字，勾选构件的合计、判定与偏差分布",
       {"FILE [--json] [--config-dir DIR]"},
       C::InputFile,
       {kJson, kConfigDir},
       1,
       "",
       true,
       false},
      {"export",
       "将测点导出为 CSV 文件（UTF-8）",
       {"--csv FILE -o OUT.csv"},
       C::InputFile,
       {{"--csv", "", "导出为 CSV"}, output("OUT.csv", "输出文件（- 为标准输出）"), kInPlace},
       1,
       "输出文件",
       true,
       false},
      {"import",
       "由 CSV 文件生成分析结果文件",
       {"CSV -o OUT.KRO [--config-dir DIR]"},
       C::CsvFile,
       {output("OUT.KRO", "输出文件（- 为标准输出）"), kConfigDir, kInPlace},
       1,
       "输出文件",
       false,
       false},
      {"check",
       "交付前检查构件和报告参数（0 无问题，1 有问题，2 用法错误或无法读取）",
       {"FILE [--format N] [--config-dir DIR] [--json]"},
       C::InputFile,
       {kFormat, kConfigDir, kJson},
       1,
       "",
       true,
       true},
      {"history",
       "列出文件的数据来源和修改记录（谁、何时、为何修改了什么）",
       {"FILE [--json]"},
       C::InputFile,
       {kJson},
       1,
       "",
       true,
       false},
      {"diff",
       "比较两个文件的测点和构件参数（也可为“原始数据”中的 .serial/.usb 文件）",
       {"ORIGINAL EDITED [--json] [--readings-only]"},
       C::InputFile,
       {kJson, {"--readings-only", "", "只比较测点，不比较构件参数"}},
       2,
       "",
       false,
       true},
      {"formats",
       "列出报告格式：六种内置格式、用户格式文件夹中的格式及其字段，以及用户格式可用的全部字段",
       {"[--json] [--config-dir DIR]"},
       C::None,
       {kJson, kConfigDir},
       0,
       "",
       false,
       false},
      {"rules",
       "列出判定规则：内置的规则和本单位“判定规则”文件夹中的规则，及其定义",
       {"[--json] [--config-dir DIR]"},
       C::None,
       {kJson, kConfigDir},
       0,
       "",
       false,
       false},
      {"params",
       "显示工程参数（文件中保存的，或默认值），或写出设置了工程参数的副本",
       {"FILE [--json] [--config-dir DIR]", "FILE --set 名称=值 ... -o OUT.KRO"},
       C::InputFile,
       {kJson,
        kConfigDir,
        {"--set", "名称=值", "设置一个工程参数（可多次使用）", C::None, true},
        output("OUT.KRO", "写出的副本（- 为标准输出）"),
        kInPlace},
       1,
       "",
       true,
       false},
      {"issue",
       "签发报告：检测人起草、审核人审核、批准人批准并写出编号、签名的报告（个人密码从终端询问，或取自 "
       "KRO_PIN；签名密钥的口令取自 KRO_PASSPHRASE）",
       {"FILE --as NAME [--format N] [--instrument SERIAL] [-o DIR] [--force-expired] [--number NO] "
        "[--platform-code TEXT] [--register LOCATION] [--config-dir DIR]"},
       C::InputFile,
       {{"--as", "NAME", "签字的人（台账中的人员）"},
        kFormat,
        {"--instrument", "SERIAL", "起草时：所用仪器的出厂编号"},
        output("DIR", "批准时：写出报告、数据表格和 PDF 的文件夹（默认当前文件夹）"),
        {"--force-expired", "", "确认使用已过校准有效期的仪器（记入台账）"},
        {"--number", "NO", "批准时：使用给出的报告编号而不是按编号规则取号（不能与已用的重复）"},
        {"--platform-code", "TEXT", "批准时：台账设为印平台的防伪码时，平台给出的校验码文字"},
        kRegister,
        kConfigDir},
       1,
       "",
       false,
       false},
      {"register",
       "本单位的台账：人员、仪器、编号规则、报告台账、不合格台账、作废、导出、核查、备份与恢复",
       {"people add NAME --roles 检测,审核,批准 | people list [--json] | people retire NAME | people pin "
        "NAME",
        "instruments add --name NAME --serial SERIAL --certificate NO --calibrated DATE --due DATE | "
        "instruments "
        "list [--json]",
        "numbering --pattern PATTERN [--format N] [--revision-rule 版本|新编号]",
        "list|failing [--json] | void NUMBER [--revision K] --as NAME --reason TEXT",
        "export --xlsx|--csv -o OUT | verify [DIR] | backup -o FILE | restore FILE | copy --to LOCATION | "
        "where",
        "key new --as NAME --office NAME [--valid-until DATE] | key list | key revoke ID --as NAME --reason "
        "TEXT "
        "[--from DATE] | key export [-o FILE.txt|FILE.html]",
        "code [--mode 签名|关闭|平台] [--address URL] | void-list -o void-list.json",
        "（都可加 [--register LOCATION] [--config-dir DIR]）"},
       C::None,
       {{"--roles", "LIST", "人员的职责：检测、审核、批准，用逗号分开"},
        {"--name", "NAME", "仪器名称"},
        {"--serial", "SERIAL", "仪器出厂编号"},
        {"--certificate", "NO", "校准证书编号"},
        {"--calibrated", "DATE", "校准日期（2026-03-01）"},
        {"--due", "DATE", "校准有效期至（2027-02-28）"},
        {"--pattern", "PATTERN", "编号规则，如 LBHD-{年}-{序号:4}"},
        kFormat,
        {"--revision-rule", "RULE", "修改后重新签发的报告：版本（同一编号的下一版）或 新编号"},
        {"--revision", "K", "作废的版本（默认最新一版）"},
        {"--as", "NAME", "作废报告的人（须有批准职责）"},
        {"--reason", "TEXT", "作废的原因"},
        {"--xlsx", "", "导出为工作簿（报告、不合格台账、仪器、人员各一张表）"},
        {"--csv", "", "导出报告台账为 CSV"},
        {"--to", "LOCATION", "复制到的新台账：文件或 postgresql://用户@主机:端口/数据库"},
        {"--office", "NAME", "签名密钥所属的单位名称"},
        {"--valid-until", "DATE", "签名密钥的有效期（默认不限）"},
        {"--from", "DATE", "密钥吊销的日期（默认今天；此后签发的报告无效）"},
        {"--mode", "MODE", "防伪校验码：签名（本单位签名的校验码）、关闭、平台（印平台给出的校验码）"},
        {"--address", "URL", "验证网址：印在校验码中 # 之前（kro verify-page 写出的页面所在）"},
        kJson,
        output("OUT", "输出文件"),
        kRegister,
        kConfigDir},
       kAnyInputs,
       "",
       false,
       false},
      {"verify-page",
       "写出防伪校验页：一个独立的网页，手机扫描报告的二维码即可在本机核对（含本单位的公钥和已作废的报告）",
       {"-o verify.html [--register LOCATION] [--config-dir DIR]"},
       C::None,
       {output("verify.html", "输出文件"), kRegister, kConfigDir},
       0,
       "输出文件",
       false,
       false},
      {"verify",
       "核对签发报告的防伪校验码：签名是否为本单位的、是否已作废，Word 报告中印的数字是否为签名的",
       {"FILE.pdf|FILE.docx [--key PUBLIC-KEY-FILE] [--project FILE.KRO]",
        "--code TEXT [--key PUBLIC-KEY-FILE] [--project FILE.KRO]"},
       C::InputFile,
       {{"--code", "TEXT", "扫描二维码得到的文字"},
        {"--key", "FILE", "签发单位的公钥文件（kro register key export 写出；默认用台账中的）"},
        {"--project", "FILE", "核对工程文件中的数据是否为签名的"},
        kRegister,
        kConfigDir},
       kAnyInputs,
       "",
       false,
       true},
  };
}

std::string padded(std::string text, std::size_t width) {
  const std::size_t shown = displayWidth(text);
  if (shown < width) text.append(width - shown, ' ');
  return text;
}

constexpr std::size_t kSynopsisColumn = 38;

// groff: a backslash and a leading dot or apostrophe would be commands, and a line of Chinese
// may break after any of its characters (\: marks where; troff breaks only at spaces).
std::string roff(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else if ((static_cast<unsigned char>(c) & 0xF0) == 0xE0 && i + 2 < text.size()) {
      out.append(text.substr(i, 3));
      out += "\\:";
      i += 2;
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string optionText(const OptionDeclaration& o) {
  return std::string(o.name) + (o.argument.empty() ? "" : " " + std::string(o.argument));
}

// Shell patterns of the files each kind of input may be.
std::string_view patternOf(Completion c) {
  switch (c) {
    case C::InputFile:
      return "@(KRO|kro|Kro|DEX|dex|serial|usb)";
    case C::CsvFile:
      return "@(csv|CSV)";
    case C::RawFile:
      return "@(serial|usb|raw|bin)";
    default:
      return "";
  }
}

// The bash words that complete an argument of this kind.
std::string completionWords(Completion c) {
  switch (c) {
    case C::Folder:
      return "COMPREPLY=($(compgen -d -- \"$cur\"))";
    case C::Format:
      return "COMPREPLY=($(compgen -W '1 2 3 4 5 6' -- \"$cur\"))";
    case C::Port:
      return "COMPREPLY=($(compgen -W 'COM1 COM2 COM3 COM4 COM5 COM6' -- \"$cur\") $(compgen -f -- "
             "\"$cur\"))";
    case C::OutputFile:
      return "COMPREPLY=($(compgen -f -- \"$cur\"))";
    case C::None:
      return "COMPREPLY=()";
    default:
      return "COMPREPLY=($(compgen -f -- \"$cur\"))";
  }
}

}  // namespace

std::size_t displayWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    width += length >= 3 ? 2 : 1;
    i += length;
  }
  return width;
}

const std::vector<CommandDeclaration>& commandDeclarations() {
  static const std::vector<CommandDeclaration> declarations = makeDeclarations();
  return declarations;
}

const CommandDeclaration* findCommand(std::string_view name) {
  for (const CommandDeclaration& declaration : commandDeclarations()) {
    if (declaration.name == name) return &declaration;
  }
  return nullptr;
}

std::string versionText() { return std::string("kro ") + KRO_VERSION + "\n"; }

std::string usageText() {
  std::string text =
      "用法：kro 命令 [选项] 输入 [-o 输出]\n       kro 命令 --help\n       kro --version\n\n命令：\n";
  for (const CommandDeclaration& declaration : commandDeclarations()) {
    for (std::size_t i = 0; i < declaration.synopses.size(); ++i) {
      std::string line = "  " + std::string(declaration.name) + " " + std::string(declaration.synopses[i]);
      if (i == 0 && displayWidth(line) + 1 < kSynopsisColumn) {
        text += padded(line, kSynopsisColumn) + std::string(declaration.summary) + "\n";
      } else {
        text += line + "\n";
        if (i == 0) text += std::string(kSynopsisColumn, ' ') + std::string(declaration.summary) + "\n";
      }
    }
  }
  text +=
      "\n"
      "输入为 - 时从标准输入读取，-o - 写到标准输出（convert、export、import、info、stats、decode）。\n"
      "不写入设备、管道、文件夹、只读文件、作为输入读取的文件和别人在公共文件夹中放的符号链接。\n"
      "选项的值也可以写成 --选项=值；-- 之后的参数都不是选项。\n"
      "\n"
      "退出状态：0 成功，1 失败，2 用法错误。\n";
  return text;
}

std::string commandHelp(const CommandDeclaration& declaration) {
  std::string text;
  for (std::size_t i = 0; i < declaration.synopses.size(); ++i) {
    text += (i == 0 ? "用法：kro " : "      kro ") + std::string(declaration.name) + " " +
            std::string(declaration.synopses[i]) + "\n";
  }
  text += "\n" + std::string(declaration.summary) + "\n";
  if (!declaration.options.empty()) text += "\n选项：\n";
  for (const OptionDeclaration& o : declaration.options) {
    text += padded("  " + optionText(o), 24) + " " + std::string(o.help) + "\n";
  }
  text += padded("  --help", 24) + " 显示本说明\n";
  return text;
}

std::string manualPage() {
  std::string m;
  m += ".TH KRO 1 \"\" \"kro " KRO_VERSION "\" \"楼板厚度测试仪数据分析处理软件\"\n";
  m += ".ad l\n";  // Chinese text has no spaces to stretch
  m += ".SH NAME\nkro \\- command line of the floor\\-slab thickness tester's data "
       "(楼板厚度测试仪数据的命令行工具)\n";
  m += ".SH SYNOPSIS\n.B kro\n.I 命令\n[\\fI选项\\fR] \\fI输入\\fR [\\fB\\-o\\fR \\fI输出\\fR]\n.br\n"
       ".B kro\n.I 命令\n.B \\-\\-help\n.br\n.B kro \\-\\-version\n";
  m +=
      ".SH DESCRIPTION\n"
      "读取、转换、检查和输出楼板厚度测试仪的数据：\n分析结果文件（.KRO）、仪器的原始数据（.DEX 与 .DAT）、\n"
      "传输时保存的原始数据（.serial、.usb）和 CSV。\n输入为 \\- 时从标准输入读取，\\fB\\-o \\-\\fR "
      "写到标准输出。\n输出只在新文件完整写好后替换原有文件；\n不写入设备、管道、文件夹、只读文件、\n"
      "作为输入读取的文件，\n以及别人在公共文件夹中放的符号链接。\n"
      ".PP\n选项的值也可以写成 \\fB\\-\\-选项=值\\fR；\\fB\\-\\-\\fR 之后的参数都不是选项。\n";
  m += ".SH COMMANDS\n";
  for (const CommandDeclaration& declaration : commandDeclarations()) {
    for (std::size_t i = 0; i < declaration.synopses.size(); ++i) {
      m += (i == 0 ? ".TP\n" : ".TQ\n");
      m += "\\fBkro " + roff(declaration.name) + "\\fR " + roff(declaration.synopses[i]) + "\n";
    }
    m += roff(declaration.summary) + "\n";
    for (const OptionDeclaration& o : declaration.options) {
      m += ".RS\n.TP\n\\fB" + roff(o.name) + "\\fR" +
           (o.argument.empty() ? "" : " \\fI" + roff(o.argument) + "\\fR") + "\n" + roff(o.help) + "\n.RE\n";
    }
  }
  m += ".SH EXIT STATUS\n0 成功（警告写到标准错误），1 失败（标准错误上一行说明），2 用法错误。"
       "\\fBcheck\\fR 与 \\fBdiff\\fR：0 没有发现问题或差异，1 有，2 用法错误或无法读取输入。"
       "输出无法写出（例如磁盘已满）时以 1（check、diff 为 2）退出。\n";
  m += ".SH ENVIRONMENT\n"
       ".TP\n.B KRO_CONFIG_DIR\n设置文件所在的文件夹（与 \\fB\\-\\-config\\-dir\\fR 相同）。\n"
       ".TP\n.B KRO_TEMPLATE_DIR\n报告模板所在的文件夹。\n"
       ".TP\n.B KRO_FONT_DIR\n打印用字体所在的文件夹。\n"
       ".TP\n.B KRO_USB_SIMULATE\n以这个文件的构件模拟第一个 USB 仪器。\n";
  m += ".SH SEE ALSO\n.BR kroanalyze (1)\n";
  return m;
}

std::string bashCompletion() {
  std::string commands;
  for (const CommandDeclaration& declaration : commandDeclarations())
    commands += (commands.empty() ? "" : " ") + std::string(declaration.name);
  std::string b =
      "# bash completion for kro, made from its command declarations.\n"
      "_kro() {\n"
      "  local cur prev command\n"
      "  cur=${COMP_WORDS[COMP_CWORD]}\n"
      "  prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      "    COMPREPLY=($(compgen -W '" +
      commands +
      " --help --version' -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  command=${COMP_WORDS[1]}\n"
      "  case \"$command\" in\n";
  for (const CommandDeclaration& declaration : commandDeclarations()) {
    std::string options = "--help";
    for (const OptionDeclaration& o : declaration.options) options += " " + std::string(o.name);
    b += "  " + std::string(declaration.name) + ")\n    case \"$prev\" in\n";
    for (const OptionDeclaration& o : declaration.options) {
      if (o.argument.empty()) continue;
      b += "    " + std::string(o.name) + ") " + completionWords(o.completion) + "; return ;;\n";
    }
    b += "    esac\n";
    b += "    if [[ \"$cur\" == -* ]]; then COMPREPLY=($(compgen -W '" + options +
         "' -- \"$cur\")); return; fi\n";
    const std::string_view pattern = patternOf(declaration.inputs);
    if (declaration.inputs == C::None) {
      b += "    COMPREPLY=()\n";
    } else if (pattern.empty()) {
      b += "    COMPREPLY=($(compgen -f -- \"$cur\"))\n";
    } else {
      b += "    COMPREPLY=($(compgen -f -X '!*." + std::string(pattern) +
           "' -- \"$cur\") $(compgen -d -- \"$cur\"))\n";
    }
    b += "    ;;\n";
  }
  b += "  esac\n}\nshopt -s extglob\ncomplete -o filenames -F _kro kro\n";
  return b;
}

}  // namespace kro::cli
