// Report format table, parameter files and the parameters dialog's rules.
#include "report/report_parameters.h"

#include <algorithm>
#include <cctype>

#include "model/gbk_text.h"
#include "settings/settings_file.h"

namespace kro {

namespace {

using K = ParameterKind;

const std::array<ReportFormatInfo, kReportFormatCount>& formats() {
  static const std::array<ReportFormatInfo, kReportFormatCount> table = {{
      {"检测报告1",
       "report1ini",
       "检测报告1.docx",
       {{"工程名称", K::Text},
        {"委托单位", K::Text},
        {"施工单位", K::Text},
        {"监理单位", K::Text},
        {"检测仪器", K::Text},
        {"检测依据", K::Text},
        {"报告编号", K::Text},
        {"报告日期", K::Date},
        {"设计单位", K::Text},
        {"委托编号", K::Text},
        {"检测单位", K::Text},
        {"检测内容", K::Text},
        {"结构类别", K::Text},
        {"工程地址", K::Text},
        {"强度等级", K::Grade},
        {"施工日期", K::Date}},
       {"工程名称", "工程地址", "施工单位", "监理单位", "结构类别", "检测内容", "检测依据", "施工日期"},
       {"委托单位", "设计单位", "委托编号", "检测单位", "强度等级", "检测仪器", "报告编号", "报告日期"}},
      {"检测报告2",
       "report2ini",
       "检测报告2.docx",
       {{"报告编号", K::Text},
        {"工程名称", K::Text},
        {"委托单位", K::Text},
        {"检测项目", K::Text},
        {"检测方法", K::Text},
        {"建设单位", K::Text},
        {"检测日期", K::Date},
        {"施工单位", K::Text},
        {"设计单位", K::Text},
        {"监理单位", K::Text},
        {"监督单位", K::Text},
        {"工程地址", K::Text},
        {"检测依据", K::Text},
        {"检测仪器", K::Text},
        {"检测人员", K::Text},
        {"结构类别", K::Text},
        {"强度等级", K::Grade}},
       {"报告编号", "委托单位", "检测方法", "建设单位", "设计单位", "监督单位", "结构类别", "检测依据",
        "检测人员"},
       {"工程名称", "检测项目", "检测日期", "施工单位", "监理单位", "工程地址", "强度等级", "检测仪器"}},
      {"检测报告3",
       "report3ini",
       "检测报告3.docx",
       {{"委托编号", K::Text},
        {"检测编号", K::Text},
        {"委托单位", K::Text},
        {"委托日期", K::Date},
        {"工程名称", K::Text},
        {"检测日期", K::Date},
        {"工程地点", K::Text},
        {"浇筑日期", K::Date},
        {"检测项目", K::Text},
        {"施工单位", K::Text},
        {"仪器设备", K::Text},
        {"执行标准", K::Text},
        {"结构类别", K::Text},
        {"强度等级", K::Grade}},
       {"委托编号", "委托单位", "施工单位", "工程名称", "结构类别", "检测项目", "仪器设备"},
       {"检测编号", "委托日期", "浇筑日期", "工程地点", "强度等级", "检测日期", "执行标准"}},
      {"检测报告4",
       "report4ini",
       "检测报告4.docx",
       {{"工程名称", K::Text},
        {"委托单位", K::Text},
        {"报告编号", K::Text},
        {"建设单位", K::Text},
        {"设计单位", K::Text},
        {"施工单位", K::Text},
        {"监理单位", K::Text},
        {"报告日期", K::Date},
        {"检测仪器", K::Text},
        {"仪器编号", K::Text},
        {"检测依据", K::Text},
        {"检测日期", K::Date}},
       {"工程名称", "委托单位", "建设单位", "设计单位", "施工单位", "检测仪器"},
       {"报告编号", "报告日期", "检测日期", "监理单位", "检测依据", "仪器编号"}},
      {"甘肃格式", "reportGansuini", "甘肃报告.docx", {}, {}, {}},
      {"吉林报告", "reportJilinini", "吉林报告.docx", {}, {}, {}},
  }};
  return table;
}

// Formats 4 and 5 share one field set and page.
const ReportFormatInfo& sharedRegional() {
  static const ReportFormatInfo info = {
      "",
      "",
      "",
      {{"工程名称", K::Text},
       {"委托单位", K::Text},
       {"试验编号", K::Text},
       {"建设单位", K::Text},
       {"设计单位", K::Text},
       {"施工单位", K::Text},
       {"监理单位", K::Text},
       {"委托日期", K::Date},
       {"委托编号", K::Text},
       {"检测仪器", K::Text},
       {"检测依据", K::Text},
       {"检测日期", K::Date}},
      {"委托单位", "工程名称", "建设单位", "施工单位", "监理单位", "设计单位"},
      {"委托日期", "委托编号", "试验编号", "检测依据", "检测日期", "检测仪器"}};
  return info;
}

int leadingNumber(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size() && bytes[i] == ' ') ++i;
  int value = 0;
  bool any = false;
  for (; i < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[i])); ++i) {
    value = value * 10 + (bytes[i] - '0');
    any = true;
  }
  return any ? value : -1;
}

}  // namespace

const ReportFormatInfo& reportFormatInfo(int reportFormat) {
  static const std::array<ReportFormatInfo, kReportFormatCount> complete = [] {
    auto table = formats();
    for (int i : {4, 5}) {
      table[i].fields = sharedRegional().fields;
      table[i].leftColumn = sharedRegional().leftColumn;
      table[i].rightColumn = sharedRegional().rightColumn;
    }
    return table;
  }();
  return complete.at(static_cast<std::size_t>(reportFormat));
}

std::optional<int> chosenReportFormat(const SettingsLocation& location) {
  std::optional<int> format = loadChosenFormat(location);
  if (!format || *format < 0 || *format >= kReportFormatCount) return std::nullopt;
  return format;
}

CalendarDate parameterDate(std::string_view utf8Text) {
  const std::string gbk = utf8ToGbk(utf8Text).value_or("");
  if (gbk.size() < 12) return {};
  const CalendarDate date{leadingNumber(std::string_view(gbk).substr(0, 4)),
                          leadingNumber(std::string_view(gbk).substr(6, 2)),
                          leadingNumber(std::string_view(gbk).substr(10, 2))};
  return isValidDate(date) ? date : CalendarDate{};
}

std::string parameterDateText(const CalendarDate& date) { return gbkToUtf8(paddedDateText(date)); }

std::optional<std::string_view> matchingGrade(std::string_view stored) {
  if (stored.empty()) return std::nullopt;
  for (std::string_view grade : kStrengthGrades) {
    if (stored.size() > grade.size()) continue;
    bool begins = true;
    for (std::size_t i = 0; i < stored.size() && begins; ++i) {
      begins = std::tolower(static_cast<unsigned char>(stored[i])) ==
               std::tolower(static_cast<unsigned char>(grade[i]));
    }
    if (begins) return grade;
  }
  return std::nullopt;
}

ProjectInfo emptyProjectInfo(int reportFormat) {
  ProjectInfo info;
  for (const ParameterField& f : reportFormatInfo(reportFormat).fields)
    info[std::string(f.key)] = std::string();
  return info;
}

Status saveFormatParameters(const SettingsLocation& location, int reportFormat, const ProjectInfo& info,
                            int formatIndex) {
  const ReportFormatInfo& format = reportFormatInfo(reportFormat);
  SettingsFile file(location, format.parameterFile);
  if (Status opened = file.openForWrite(); !opened) return Error{"无法保存报告参数：" + opened.message()};
  file.writeSection(kSettingsSection);
  for (const ParameterField& f : format.fields) {
    auto it = info.find(f.key);
    file.writeString(f.key, it != info.end() ? it->second : std::string());
  }
  for (const auto& entry : info) {
    const bool own = std::any_of(format.fields.begin(), format.fields.end(),
                                 [&](const ParameterField& f) { return f.key == entry.first; });
    if (!own) file.writeString(entry.first, entry.second);
  }
  if (reportFormat == 0) file.writeInt(kFormatChoiceKey, formatIndex);
  if (Status written = file.close(); !written) return Error{"无法保存报告参数：" + written.message()};
  return Status::success();
}

std::optional<int> loadChosenFormat(const SettingsLocation& location) {
  SettingsFile file(location, kFormatChoiceFile);
  if (!file.openForRead()) return std::nullopt;
  int format = -1;
  if (!file.readInt(kSettingsSection, kFormatChoiceKey, format)) return std::nullopt;
  return format;
}

Status saveChosenFormat(const SettingsLocation& location, int formatIndex) {
  SettingsFile file(location, kFormatChoiceFile);
  if (Status opened = file.openForWrite(); !opened) return Error{"无法保存报告格式：" + opened.message()};
  file.writeSection(kSettingsSection);
  file.writeInt(kFormatChoiceKey, formatIndex);
  if (Status written = file.close(); !written) return Error{"无法保存报告格式：" + written.message()};
  return Status::success();
}

}  // namespace kro
