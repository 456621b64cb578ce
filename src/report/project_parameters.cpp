// The project's report parameters, their fields and their defaults.
#include "report/project_parameters.h"

#include <algorithm>
#include <map>
#include <memory>

#include "model/gbk_text.h"
#include "model/project_blocks.h"
#include "settings/settings_file.h"

namespace kro {
namespace {

using K = ParameterKind;

struct Synonym {
  std::string_view name, of;
};
constexpr Synonym kSynonyms[] = {
    {"工程地点", "工程地址"}, {"执行标准", "检测依据"}, {"仪器设备", "检测仪器"}, {"检测编号", "报告编号"}};

// The texts the reports printed before these fields reached them.
constexpr std::pair<std::string_view, std::string_view> kBuiltInDefaults[] = {
    {"检测依据", "《混凝土结构工程施工质量验收规范》（GB50204-2002）"},
    {"检测内容", "楼板厚度检测"},
    {"检测项目", "楼板厚度检测"},
    {"检测方法", "电磁法检测"},
    {"检测仪器", "楼板厚度测试仪"},
    {"合格率要求", "90"},
    {"判定规则", "逐点判定"},
};

constexpr std::string_view kOfficeFields[] = {"检测单位", "检测仪器",   "仪器编号", "检测依据",
                                              "检测人员", "合格率要求", "判定规则"};

std::string_view synonymOf(std::string_view name) {
  for (const Synonym& s : kSynonyms) {
    if (s.name == name) return s.of;
  }
  return name;
}

std::vector<ParameterDefinition> buildDefinitions() {
  std::vector<ParameterDefinition> out;
  auto add = [&](std::string_view name, ParameterKind kind) {
    if (std::any_of(out.begin(), out.end(), [&](const ParameterDefinition& d) { return d.name == name; }))
      return;
    ParameterDefinition d{name, kind, {}, {}, false};
    for (const Synonym& s : kSynonyms) {
      if (s.of == name) d.synonyms.push_back(s.name);
    }
    for (const auto& [field, text] : kBuiltInDefaults) {
      if (field == name) d.builtInDefault = text;
    }
    d.office = std::find(std::begin(kOfficeFields), std::end(kOfficeFields), name) != std::end(kOfficeFields);
    out.push_back(std::move(d));
  };
  for (int f = 0; f < kReportFormatCount; ++f) {
    for (const ParameterField& field : reportFormatInfo(f).fields) add(synonymOf(field.key), field.kind);
  }
  add(kAcceptanceRuleKey, K::Text);
  add(kJudgingRuleKey, K::Text);
  add(kRoomCountKey, K::Text);
  return out;
}

// A value read from a settings file as the field keeps it (dates in parameter date text).
std::string normalised(const ParameterDefinition& d, const std::string& value) {
  return d.kind == K::Date ? parameterDateText(parameterDate(value)) : value;
}

}  // namespace

const std::vector<ParameterDefinition>& parameterDefinitions() {
  static const std::vector<ParameterDefinition> definitions = buildDefinitions();
  return definitions;
}

const ParameterDefinition* parameterDefinition(std::string_view name) {
  const std::string_view own = synonymOf(name);
  for (const ParameterDefinition& d : parameterDefinitions()) {
    if (d.name == own) return &d;
  }
  return nullptr;
}

std::string_view canonicalParameterName(std::string_view name) { return synonymOf(name); }

std::string ParameterValues::operator()(std::string_view name) const {
  auto it = values_.find(canonicalParameterName(name));
  return it == values_.end() ? std::string() : it->second;
}

void ParameterValues::set(std::string_view name, std::string value) {
  values_[std::string(canonicalParameterName(name))] = std::move(value);
}

bool ParameterValues::has(std::string_view name) const {
  return values_.find(canonicalParameterName(name)) != values_.end();
}

namespace {

// The stored definition of the rule: its fields under the prefix, its name the rule's value.
std::optional<Result<JudgingRule>> storedRule(const ParameterValues& values) {
  if (!values.has(std::string(kRuleFieldPrefix) + "对象")) return std::nullopt;
  return ruleFromFields([&](std::string_view key) -> std::optional<std::string> {
    if (key == kRuleNameKey) return values(kJudgingRuleKey);
    const std::string name = std::string(kRuleFieldPrefix) + std::string(key);
    if (!values.has(name)) return std::nullopt;
    return values(name);
  });
}

}  // namespace

RuleInForce ParameterValues::rule() const {
  RuleInForce inForce;
  if (auto stored = storedRule(*this); stored && stored->ok()) {
    inForce.rule = stored->value();
  } else if (const JudgingRule* builtIn = builtInRule((*this)(kJudgingRuleKey))) {
    inForce.rule = *builtIn;
  }
  inForce.threshold =
      inForce.rule.threshold(parseAcceptanceRule((*this)(kAcceptanceRuleKey)).value_or(AcceptanceRule{}));
  return inForce;
}

std::string ParameterValues::ruleProblem() const {
  const std::string name = (*this)(kJudgingRuleKey);
  if (auto stored = storedRule(*this); stored && !stored->ok()) {
    return "文件中判定规则“" + name + "”的定义有误（" + stored->message() + "），按“" +
           std::string(kPointRuleName) + "”判定。";
  } else if (!stored && !name.empty() && builtInRule(name) == nullptr) {
    return "判定规则“" + name + "”没有定义，按“" + std::string(kPointRuleName) + "”判定。";
  }
  return {};
}

void ParameterValues::clearRule() {
  std::erase_if(values_, [](const auto& pair) {
    return pair.first == kJudgingRuleKey || pair.first.starts_with(kRuleFieldPrefix);
  });
}

void ParameterValues::setRule(const JudgingRule& rule, bool followCitation) {
  // 检测依据 follows the rule unless the user typed one of their own.
  const std::string standard = (*this)(kStandardKey);
  bool typed = !standard.empty() && standard != this->rule().rule.citation;
  for (const JudgingRule& r : builtInRules()) typed = typed && standard != r.citation;
  if (followCitation && !typed) set(kStandardKey, rule.citation);
  clearRule();
  for (const auto& [key, value] : ruleFields(rule)) {
    if (key == kRuleNameKey) {
      set(kJudgingRuleKey, value);
    } else {
      set(std::string(kRuleFieldPrefix) + key, value);
    }
  }
}

bool ParameterValues::ruleInvalid() const { return !parseAcceptanceRule((*this)(kAcceptanceRuleKey)); }

ParameterValues defaultParameters(const SettingsLocation& settings) {
  // The chosen format's file first, then the six in order.
  std::vector<std::unique_ptr<SettingsFile>> files;
  std::vector<int> order;
  if (auto chosen = chosenReportFormat(settings)) order.push_back(*chosen);
  for (int f = 0; f < kReportFormatCount; ++f) order.push_back(f);
  for (int f : order) {
    auto file = std::make_unique<SettingsFile>(settings, reportFormatInfo(f).parameterFile);
    if (file->openForRead()) files.push_back(std::move(file));
  }
  ParameterValues values;
  for (const ParameterDefinition& d : parameterDefinitions()) {
    auto lookup = [&](const SettingsFile& file) {
      std::string value;
      if (file.readString(kSettingsSection, d.name, value) && !value.empty()) return value;
      for (std::string_view synonym : d.synonyms) {
        if (file.readString(kSettingsSection, synonym, value) && !value.empty()) return value;
      }
      return std::string();
    };
    std::string found;
    for (std::size_t i = 0; i < files.size() && found.empty(); ++i) found = lookup(*files[i]);
    values.set(d.name, found.empty() ? std::string(d.builtInDefault) : normalised(d, found));
  }
  // The office's chosen rule, with its definition (an unknown one leaves the name alone, and the
  // check says so).
  if (auto rule = officeRuleNamed(settings, values(kJudgingRuleKey))) values.setRule(rule.value());
  return values;
}

std::filesystem::path officeRuleFolder(const SettingsLocation& settings) {
  return settings.pathForWrite(kJudgingRuleKey);
}

OfficeRules officeRules(const SettingsLocation& settings) {
  OfficeRules out;
  out.rules = builtInRules();
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(officeRuleFolder(settings), ec)) {
    const std::string name = displayPath(entry.path().filename());
    if (entry.path().extension() == ".ini" && !name.starts_with(".") && entry.is_regular_file(ec))
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const std::filesystem::path& path : files) {
    SettingsFile file;
    file.setDirectory(path.parent_path());
    file.setName(displayPath(path.stem()));
    if (!file.openForRead()) {
      out.problems.push_back("判定规则文件“" + displayPath(path) + "”无法读取，已跳过。");
      continue;
    }
    auto rule = ruleFromFields([&](std::string_view key) -> std::optional<std::string> {
      std::string value;
      if (!file.readString(kJudgingRuleKey, key, value)) return std::nullopt;
      return value;
    });
    if (!rule) {
      out.problems.push_back("判定规则文件“" + displayPath(path) + "”不是有效的规则（" + rule.message() +
                             "），已跳过。");
      continue;
    }
    auto same = std::find_if(out.rules.begin(), out.rules.end(),
                             [&](const JudgingRule& r) { return r.name == rule.value().name; });
    if (same != out.rules.end()) {
      *same = std::move(rule.value());
    } else {
      out.rules.push_back(std::move(rule.value()));
    }
  }
  return out;
}

Status saveOfficeRule(const SettingsLocation& settings, const JudgingRule& rule) {
  if (rule.name.empty() || rule.name.find_first_of("/\\:*?\"<>|") != std::string::npos ||
      rule.name.starts_with('.'))
    return Error{"判定规则的名称“" + rule.name + "”不能作文件名：不能为空，不能含有 / \\ : * ? \" < > |。"};
  std::error_code ec;
  std::filesystem::create_directories(officeRuleFolder(settings), ec);
  SettingsFile file;
  file.setDirectory(officeRuleFolder(settings));
  file.setName(rule.name);
  if (Status opened = file.openForWrite(); !opened) return Error{"无法保存判定规则：" + opened.message()};
  file.writeSection(kJudgingRuleKey);
  for (const auto& [key, value] : ruleFields(rule)) {
    if (!file.writeString(key, value)) {
      file.discard();
      return Error{"判定规则“" + rule.name + "”的“" + key + "”中有无法以 GBK 编码保存的字符。"};
    }
  }
  if (Status written = file.close(); !written) return Error{"无法保存判定规则：" + written.message()};
  return Status::success();
}

Result<JudgingRule> officeRuleNamed(const SettingsLocation& settings, std::string_view name) {
  const OfficeRules office = officeRules(settings);
  std::string names;
  for (const JudgingRule& rule : office.rules) {
    if (rule.name == name) return rule;
    names += (names.empty() ? "" : "、") + rule.name;
  }
  return Error{"没有判定规则“" + std::string(name) + "”：可用的规则有 " + names + "。"};
}

ParameterValues effectiveParameters(const ProjectParameters& stored, const ParameterValues& defaults) {
  ParameterValues values = defaults;
  if (stored.stored) {
    // A file's rule is its own: one that stores none is judged "逐点判定", whatever the office
    // chose for new projects.
    values.clearRule();
    for (const auto& [name, value] : stored.values) values.set(gbkToUtf8(name), gbkToUtf8(value));
  }
  // The rule in force with its whole definition, so that saving stores it.
  if (values.ruleProblem().empty()) values.setRule(values.rule().rule, false);
  return values;
}

ParameterValues effectiveParameters(const Project& project, const SettingsLocation& settings) {
  return effectiveParameters(project.parameters, defaultParameters(settings));
}

namespace {

std::string tooLarge() {
  return "工程参数合计超过了文件中参数 " + std::to_string(kMaxParametersBytes >> 20) + " MB 的上限。";
}

}  // namespace

Result<ProjectParameters> toStoredParameters(const ParameterValues& values,
                                             const ProjectParameters& previous) {
  ProjectParameters out;
  out.stored = true;
  // The previous pairs by their name as text, so that each value is found at once.
  std::map<std::string, const std::pair<std::string, std::string>*, std::less<>> before;
  for (const auto& pair : previous.values) before.emplace(gbkToUtf8(pair.first), &pair);
  std::size_t total = 0;
  auto store = [&](const std::string& name, const std::string& value) -> Status {
    std::string gbkName;
    if (auto it = before.find(name); it != before.end()) {
      const auto& [oldName, oldValue] = *it->second;
      // Unchanged values keep their bytes, so that nothing that did not decode is rewritten.
      if (gbkToUtf8(oldValue) == value) {
        out.values.emplace_back(oldName, oldValue);
        total += oldName.size() + oldValue.size();
        return total > kMaxParametersBytes ? Status(Error{tooLarge()}) : Status::success();
      }
      gbkName = oldName;
    } else {
      auto n = utf8ToGbk(name);
      if (!n) return Error{"参数名“" + name + "”含有无法以 GBK 编码保存的字符。"};
      gbkName = std::move(*n);
    }
    if (gbkName.size() > kMaxParameterNameBytes) {
      return Error{"参数名“" + std::string(gbkToUtf8(gbkTruncate(gbkName, 30))) + "…”有 " +
                   std::to_string(gbkName.size()) + " 字节，超过了文件中参数名 " +
                   std::to_string(kMaxParameterNameBytes) + " 字节的上限。"};
    }
    std::string bad;
    auto v = utf8ToGbk(value, &bad);
    if (!v) return Error{"“" + name + "”中的字符“" + bad + "”无法以 GBK 编码保存。"};
    total += gbkName.size() + v->size();
    if (total > kMaxParametersBytes) return Error{tooLarge()};
    out.values.emplace_back(std::move(gbkName), std::move(*v));
    return Status::success();
  };
  for (const ParameterDefinition& d : parameterDefinitions()) {
    const std::string name(d.name);
    if (Status s = store(name, values(name)); !s) return Error{s.message()};
  }
  for (const auto& [name, value] : values.all()) {
    if (parameterDefinition(name) != nullptr) continue;
    if (Status s = store(name, value); !s) return Error{s.message()};
  }
  return out;
}

namespace {

// Values as a project stores them, fromDefaults set: every field, then the rule's definition.
// The settings files are GBK, so their values always fit; the lossy step only guards that.
ProjectParameters storedDefaults(const ParameterValues& values) {
  ProjectParameters out;
  out.stored = true;
  out.fromDefaults = true;
  for (const ParameterDefinition& d : parameterDefinitions()) {
    out.values.emplace_back(utf8ToGbkLossy(d.name), utf8ToGbkLossy(values(d.name)));
  }
  for (const auto& [name, value] : values.all()) {
    if (name.starts_with(kRuleFieldPrefix))
      out.values.emplace_back(utf8ToGbkLossy(name), utf8ToGbkLossy(value));
  }
  return out;
}

}  // namespace

ProjectParameters officeParameters(const SettingsLocation& settings) {
  return storedDefaults(defaultParameters(settings));
}

ProjectParameters officeParametersForOldFile(const SettingsLocation& settings) {
  ParameterValues values = defaultParameters(settings);
  values.setRule(pointRule());
  return storedDefaults(values);
}

bool adoptOfficeParameters(Project& project, const SettingsLocation& settings) {
  if (project.parameters.stored || project.keptBlock(kParametersTag) != nullptr) return false;
  project.parameters = officeParametersForOldFile(settings);
  return true;
}

Status saveOfficeDefaults(const SettingsLocation& settings, const ParameterValues& values) {
  const int chosen = loadChosenFormat(settings).value_or(-1);
  for (int f = 0; f < kReportFormatCount; ++f) {
    // The format's own keys (the project fields among them cleared), then the office fields
    // the format has no key for.
    ProjectInfo info;
    for (const ParameterField& field : reportFormatInfo(f).fields) {
      const ParameterDefinition* d = parameterDefinition(field.key);
      info[std::string(field.key)] = d != nullptr && d->office ? values(field.key) : std::string();
    }
    for (std::string_view office : kOfficeFields) {
      const bool named = std::any_of(info.begin(), info.end(), [&](const auto& kv) {
        return canonicalParameterName(kv.first) == office;
      });
      if (!named) info[std::string(office)] = values(office);
    }
    if (Status s = saveFormatParameters(settings, f, info, chosen); !s) return s;
  }
  return Status::success();
}

Status saveDialogDefaults(const SettingsLocation& settings, const ParameterValues& values, int chosenFormat) {
  if (Status s = saveChosenFormat(settings, chosenFormat); !s) return s;
  return saveOfficeDefaults(settings, values);
}

std::string reportOneDate(std::string_view text) {
  if (text.empty()) return {};
  const CalendarDate d = parameterDate(text);
  if (!isValidDate(d) || d == CalendarDate{}) return {};
  return std::to_string(d.year) + "--" + std::to_string(d.month) + "--" + std::to_string(d.day);
}

}  // namespace kro
