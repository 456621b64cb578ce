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
};

constexpr std::string_view kOfficeFields[] = {"检测单位", "检测仪器", "仪器编号",
                                              "检测依据", "检测人员", "合格率要求"};

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

AcceptanceRule ParameterValues::rule() const {
  return parseAcceptanceRule((*this)(kAcceptanceRuleKey)).value_or(AcceptanceRule{});
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
  return values;
}

ParameterValues effectiveParameters(const ProjectParameters& stored, const ParameterValues& defaults) {
  ParameterValues values = defaults;
  if (!stored.stored) return values;
  for (const auto& [name, value] : stored.values) values.set(gbkToUtf8(name), gbkToUtf8(value));
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

ProjectParameters officeParameters(const SettingsLocation& settings) {
  // The settings files are GBK, so their values always fit; the lossy step only guards that.
  const ParameterValues defaults = defaultParameters(settings);
  ProjectParameters out;
  out.stored = true;
  out.fromDefaults = true;
  for (const ParameterDefinition& d : parameterDefinitions()) {
    out.values.emplace_back(utf8ToGbkLossy(d.name), utf8ToGbkLossy(defaults(d.name)));
  }
  return out;
}

bool adoptOfficeParameters(Project& project, const SettingsLocation& settings) {
  if (project.parameters.stored || project.keptBlock(kParametersTag) != nullptr) return false;
  project.parameters = officeParameters(settings);
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
