// The fields of user formats, their values, and where the formats are kept.
#include "report/user_format.h"

#include <algorithm>

#include "model/figure_text.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/report_figures.h"
#include "model/statistics.h"
#include "report/report_parameters.h"
#include "settings/settings_file.h"

namespace kro {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFigureFields[] = {"测点总数",   "合格点数", "不合格点数", "合格率",
                                              "合格率要求", "结论",     "构件数",     "报告生成日期"};
constexpr std::string_view kMemberFields[] = {"序号",       "测区编号",   "构件名称", "测试日期", "设计厚度",
                                              "允许负偏差", "允许正偏差", "测点数",   "最大值",   "最小值",
                                              "平均值",     "合格率",     "结论"};
constexpr std::string_view kUserFormatFolderName = "报告格式";
constexpr std::string_view kUserFormatKey = "用户报告格式";

// "2008年5月12日": the date of a stored text when it is one, else the text as it is.
std::string longDate(const CalendarDate& d) {
  return std::to_string(d.year) + "年" + std::to_string(d.month) + "月" + std::to_string(d.day) + "日";
}

std::string memberDate(const MemberRecord& m) {
  if (auto date = parseStoredDate(m.testDate())) return longDate(*date);
  return gbkToUtf8(m.testDate());
}

bool isReadingField(std::string_view name) {
  if (!name.starts_with("测点")) return false;
  const std::string_view number = name.substr(std::string_view("测点").size());
  for (int k = 1; k <= kReadingsPerRow; ++k) {
    if (number == std::to_string(k)) return true;
  }
  return false;
}

}  // namespace

std::optional<FieldScope> userFieldScope(std::string_view name) {
  if (isReadingField(name)) return FieldScope::Reading;
  if (std::find(std::begin(kMemberFields), std::end(kMemberFields), name) != std::end(kMemberFields)) {
    // 合格率 and 结论 are the project's outside a member part: both scopes know them.
    if (name != "合格率" && name != "结论") return FieldScope::Member;
  }
  if (std::find(std::begin(kFigureFields), std::end(kFigureFields), name) != std::end(kFigureFields)) {
    return FieldScope::Project;
  }
  if (name.starts_with(kDeclaredParameterPrefix) && name.size() > kDeclaredParameterPrefix.size()) {
    return FieldScope::Project;
  }
  if (parameterDefinition(name) != nullptr) return FieldScope::Project;
  return std::nullopt;
}

std::vector<std::string> userFieldNames(FieldScope scope) {
  std::vector<std::string> names;
  switch (scope) {
    case FieldScope::Project:
      for (const ParameterDefinition& d : parameterDefinitions()) names.emplace_back(d.name);
      for (std::string_view f : kFigureFields) {
        if (std::find(names.begin(), names.end(), f) == names.end())
          names.emplace_back(f);  // 合格率要求 is both
      }
      break;
    case FieldScope::Member:
      for (std::string_view f : kMemberFields) names.emplace_back(f);
      break;
    case FieldScope::Reading:
      for (int k = 1; k <= kReadingsPerRow; ++k) names.push_back("测点" + std::to_string(k));
      break;
  }
  return names;
}

std::string UserReportValues::projectField(std::string_view name) const {
  if (name.starts_with(kDeclaredParameterPrefix)) name.remove_prefix(kDeclaredParameterPrefix.size());
  auto it = project.find(name);
  return it != project.end() ? it->second : std::string();
}

UserReportValues userReportValues(const Project& project, const ParameterValues& parameters,
                                  const CalendarDate& today) {
  UserReportValues v;
  for (const auto& [name, value] : parameters.all()) v.project[name] = value;
  // A field known by another name in some formats answers to both.
  for (const ParameterDefinition& d : parameterDefinitions()) {
    v.project[std::string(d.name)] = parameters(d.name);
    for (std::string_view synonym : d.synonyms) v.project[std::string(synonym)] = parameters(d.name);
  }
  const AcceptanceRule rule = parameters.rule();
  const ReportFigures figures = reportFigures(project, rule);
  v.project["测点总数"] = std::to_string(figures.readingCount);
  v.project["合格点数"] = std::to_string(figures.passCount);
  v.project["不合格点数"] = std::to_string(figures.failCount());
  v.project["合格率"] = figures.rateText;
  v.project["合格率要求"] = figures.ruleText;
  v.project["结论"] = figures.verdict();
  v.project["构件数"] = std::to_string(figures.ticked.size());
  v.project["报告生成日期"] = longDate(today);

  int number = 0;
  for (int index : figures.ticked) {
    const MemberRecord& m = *project.memberAt(index);
    const MemberFigures f = computeFigures(m);
    MemberFieldValues member;
    auto& fields = member.fields;
    fields["序号"] = std::to_string(++number);
    fields["测区编号"] = gbkToUtf8(m.code());
    fields["构件名称"] = gbkToUtf8(m.name());
    fields["测试日期"] = memberDate(m);
    fields["设计厚度"] = std::to_string(m.designThickness());
    fields["允许负偏差"] = std::to_string(m.minusDeviation());
    fields["允许正偏差"] = std::to_string(m.plusDeviation());
    fields["测点数"] = std::to_string(f.readingCount);
    fields["最大值"] = f.maxThickness ? std::to_string(*f.maxThickness) : "";
    fields["最小值"] = f.minThickness ? std::to_string(*f.minThickness) : "";
    fields["平均值"] = f.readingCount > 0 ? tenthsText(f.thicknessSum, f.readingCount) : "";
    fields["合格率"] = f.readingCount > 0 ? ruledRateText(f.passCount, f.readingCount, rule) : "";
    fields["结论"] = meetsRule(f.passCount, f.readingCount, rule) ? "合格" : "不合格";
    for (int j = 0; j < m.readingCount(); ++j) {
      member.readings.emplace_back(std::to_string(m.readingAt(j)), passesTolerance(m, j));
    }
    v.members.push_back(std::move(member));
  }
  return v;
}

fs::path userFormatFolder(const SettingsLocation& settings) {
  return settings.pathForWrite(kUserFormatFolderName);
}

std::vector<UserFormat> userFormats(const SettingsLocation& settings) {
  std::vector<UserFormat> formats;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(userFormatFolder(settings), ec)) {
    const fs::path& file = entry.path();
    const std::string name = displayPath(file.filename());
    if (file.extension() != ".docx" || name.starts_with(".") || name.starts_with("~$") ||
        !entry.is_regular_file(ec)) {
      continue;  // temporaries of word processors and of our own writes
    }
    formats.push_back({displayPath(file.stem()), file});
  }
  std::sort(formats.begin(), formats.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return formats;
}

Result<ChosenFormat> formatByArgument(std::string_view argument, const SettingsLocation& settings) {
  if (argument.size() == 1 && argument[0] >= '1' && argument[0] < '1' + kReportFormatCount) {
    const int index = argument[0] - '1';
    return ChosenFormat{index, {}, std::string(reportFormatInfo(index).comboText)};
  }
  if (const fs::path file = pathFromUtf8(argument); file.extension() == ".docx") {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return Error{"没有报告格式文件“" + std::string(argument) + "”。"};
    return ChosenFormat{-1, file, displayPath(file.stem())};
  }
  for (const UserFormat& f : userFormats(settings)) {
    if (f.name == argument) return ChosenFormat{-1, f.file, f.name};
  }
  return Error{"没有报告格式“" + std::string(argument) + "”：格式为 1 到 " +
               std::to_string(kReportFormatCount) + "、“" + displayPath(userFormatFolder(settings)) +
               "”中的格式名称，或一个 .docx 文件。"};
}

std::optional<ChosenFormat> chosenFormat(const SettingsLocation& settings) {
  const std::optional<int> index = loadChosenFormat(settings);
  if (!index) return std::nullopt;
  if (*index >= 0 && *index < kReportFormatCount) {
    return ChosenFormat{*index, {}, std::string(reportFormatInfo(*index).comboText)};
  }
  if (*index != -1) return std::nullopt;
  SettingsFile file(settings, kFormatChoiceFile);
  std::string name;
  if (!file.openForRead() || !file.readString(kSettingsSection, kUserFormatKey, name)) return std::nullopt;
  file.close();
  for (const UserFormat& f : userFormats(settings)) {
    if (f.name == name) return ChosenFormat{-1, f.file, f.name};
  }
  return std::nullopt;
}

Status saveChosenUserFormat(const SettingsLocation& settings, std::string_view name) {
  SettingsFile file(settings, kFormatChoiceFile);
  if (!file.openForWrite()) return Error{"无法保存报告格式：" + file.lastError()};
  file.writeSection(kSettingsSection);
  file.writeInt(kFormatChoiceKey, -1);
  if (!file.writeString(kUserFormatKey, name)) {
    file.close();
    return Error{"报告格式的名称“" + std::string(name) + "”中有无法保存的字符。"};
  }
  if (!file.close()) return Error{"无法保存报告格式：" + file.lastError()};
  return Status::success();
}

}  // namespace kro
