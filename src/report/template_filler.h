// Report templates: .docx documents whose text holds fields, {{工程名称}}, filled from a
// project's values. Every report format is one: the six built-in ones, the data table and the
// office's own. The template language (the user guide has it for users):
//
//   {{名称}}              a field: a parameter, a figure, or inside a member part a member's
//                         field, inside a reading row a reading ({{测点1}} … {{测点10}})
//   {{参数:名称}}         a parameter of the format's own, declared by using it
//   {{#构件 …}} … {{/构件}} table rows, or paragraphs of one parent, repeated per ticked member;
//                         options after the name: 同页 (a member's rows never split across
//                         pages), 续表头 (a member longer than a page gets a table of its own
//                         whose first row repeats on every page), 至少N行 (copies without values
//                         after the members until there are N)
//   {{#测点}}             in a member part's table row: the row repeated per ten readings
//   {{#修改记录 …}} … {{/修改记录}}  the same per entry of the modification log since it began,
//                         with the entry's fields (序号, 构件, 测点, 原值, 新值, 修改人, 修改时间,
//                         原因) and the same options
//   {{?名称}} {{^名称}}   the paragraph (in a table: the row) is kept only when the field is
//                         non-empty, or only when it is empty
//   {{不合格格式}}        the formatting of its first character is given to failing readings
//                         (default: red); its paragraph is left out
//   {{表尾同页}}          in a table: its last row stays on the page of what follows it
//   {{图:名称 宽x高}}     a picture of that size in millimetres (nothing when there is none)
//
// The filling is the office layer's (office/docx_template.h); this part knows the language's
// names and what a check reports.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "report/report_values.h"

namespace kro {

inline constexpr std::string_view kMemberStart = "#构件";
inline constexpr std::string_view kMemberEnd = "/构件";
inline constexpr std::string_view kReadingRow = "#测点";
inline constexpr std::string_view kLogStart = "#修改记录";
inline constexpr std::string_view kLogEnd = "/修改记录";
inline constexpr std::string_view kDeclaredParameterPrefix = "参数:";
inline constexpr std::string_view kKeepTogether = "同页";
inline constexpr std::string_view kRepeatHeading = "续表头";
inline constexpr std::string_view kAtLeastPrefix = "至少";  // 至少10行
inline constexpr std::string_view kFailingFormat = "不合格格式";
inline constexpr std::string_view kKeepTableWithNext = "表尾同页";
inline constexpr std::string_view kImagePrefix = "图:";

// What a template's fields are, or what is wrong with them.
struct TemplateFields {
  std::vector<std::string> problems;            // each names the field and where it stands
  std::vector<std::string> parameters;          // report parameters it prints, in order of use
  std::vector<std::string> declaredParameters;  // {{参数:名称}}: its own, by name
  std::vector<std::string> images;              // {{图:名称 …}}: the pictures it places
  int memberParts = 0;                          // {{#构件}} parts
};

// What the report layer knows of field names, so that a filler checks and fills by it without
// knowing them itself.
struct FieldCatalog {
  // The scope of a field's name (markers excluded, {{参数:…}} the project's); none when unknown.
  std::function<std::optional<FieldScope>(std::string_view)> scope;
  // The names a member part gives its member's values.
  std::function<bool(std::string_view)> isMemberField;
  // The report parameter a project field prints (its own name), or none.
  std::function<std::optional<std::string>(std::string_view)> printedParameter;
  // Every field's name, for suggesting the one a mistyped name was meant to be.
  std::function<std::vector<std::string>()> names;
};
// The catalog of report/report_values.h's fields.
const FieldCatalog& fieldCatalog();

// Fills templates; the office layer implements it for .docx.
class TemplateFiller {
 public:
  virtual ~TemplateFiller() = default;
  // Reads a template and checks every field; fails only when the file is no usable template.
  virtual Result<TemplateFields> check(const std::filesystem::path& templateFile) = 0;
  // Fills the template and writes the document to output (replaced only when complete). Refused,
  // with every problem, when the template has any.
  virtual Status fill(const std::filesystem::path& templateFile, const ReportValues& values,
                      const std::filesystem::path& output, const CancelFlag* cancel = nullptr) = 0;
};

}  // namespace kro
