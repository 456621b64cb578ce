// Finding and filling the fields of user report formats.
#include "office/field_template.h"

#include <algorithm>
#include <optional>
#include <pugixml.hpp>
#include <sstream>

#include "export/data_table.h"
#include "model/file_io.h"
#include "model/report_figures.h"
#include "office/docx_document.h"
#include "office/docx_word_session.h"
#include "office/package.h"

namespace kro {

namespace fs = std::filesystem;

namespace {

using pugi::xml_node;

constexpr std::string_view kBodyPart = "word/document.xml";
constexpr std::uint32_t kFailingReadingColor = 0xFF0000;
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;

bool isHeaderOrFooter(std::string_view name) {
  return (name.starts_with("word/header") || name.starts_with("word/footer")) && name.ends_with(".xml");
}

std::string partLabel(std::string_view name) {
  if (name == kBodyPart) return "正文";
  return name.starts_with("word/header") ? "页眉" : "页脚";
}

// A field as it stands in a paragraph's text: {{name}} from begin to end.
struct Field {
  std::string name;
  std::size_t begin = 0;
  std::size_t end = 0;
};

std::string trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

// A paragraph's text as its runs hold it: the text nodes (a text box's own paragraphs left out)
// and where each begins in the joined text.
struct Paragraph {
  xml_node node;
  std::vector<xml_node> texts;
  std::vector<std::size_t> starts;
  std::string text;
  std::vector<Field> fields;
  bool unclosed = false;  // a "{{" without its "}}"
};

void collectTexts(xml_node parent, std::vector<xml_node>& out) {
  for (xml_node c : parent.children()) {
    if (c.type() != pugi::node_element) continue;
    const std::string_view name = c.name();
    if (name == "w:p") continue;  // a text box's paragraph is a paragraph of its own
    if (name == "w:t") {
      out.push_back(c);
    } else if (name != "w:delText" && name != "w:instrText") {
      collectTexts(c, out);
    }
  }
}

Paragraph readParagraph(xml_node p) {
  Paragraph para;
  para.node = p;
  collectTexts(p, para.texts);
  for (xml_node t : para.texts) {
    para.starts.push_back(para.text.size());
    para.text += t.child_value();
  }
  for (std::size_t at = para.text.find("{{"); at != std::string::npos; at = para.text.find("{{", at)) {
    const std::size_t close = para.text.find("}}", at + 2);
    if (close == std::string::npos) {
      para.unclosed = true;
      break;
    }
    para.fields.push_back(
        {trimmed(std::string_view(para.text).substr(at + 2, close - at - 2)), at, close + 2});
    at = close + 2;
  }
  return para;
}

void setText(xml_node t, const std::string& text) {
  t.text().set(text.c_str());
  if (!t.attribute("xml:space")) t.append_attribute("xml:space") = "preserve";
}

// A run like `run` (its properties copied, optionally coloured) holding text, after `after`.
xml_node runAfter(xml_node run, xml_node after, const std::string& text, std::optional<std::uint32_t> color) {
  xml_node copy = run.parent().insert_child_after("w:r", after);
  if (xml_node properties = run.child("w:rPr")) copy.append_copy(properties);
  if (color) {
    xml_node properties = copy.child("w:rPr") ? copy.child("w:rPr") : copy.prepend_child("w:rPr");
    properties.remove_child("w:color");
    char hex[8];
    std::snprintf(hex, sizeof hex, "%06X", static_cast<unsigned>(*color));
    properties.append_child("w:color").append_attribute("w:val") = hex;
  }
  setText(copy.append_child("w:t"), text);
  return copy;
}

// Replaces the paragraph's text from begin to end by value, in the run of the first character
// (its formatting kept); a coloured value gets a run of its own.
void replaceText(Paragraph& para, std::size_t begin, std::size_t end, const std::string& value,
                 std::optional<std::uint32_t> color = std::nullopt) {
  auto nodeAt = [&para](std::size_t offset) {
    std::size_t i = 0;
    while (i + 1 < para.starts.size() && para.starts[i + 1] <= offset) ++i;
    return i;
  };
  const std::size_t first = nodeAt(begin);
  const std::size_t last = nodeAt(end - 1);
  const std::string firstText = para.texts[first].child_value();
  const std::string lastText = para.texts[last].child_value();
  const std::string prefix = firstText.substr(0, begin - para.starts[first]);
  const std::string suffix = lastText.substr(end - para.starts[last]);
  for (std::size_t k = first + 1; k < last; ++k) setText(para.texts[k], "");
  if (last != first) setText(para.texts[last], suffix);
  const std::string after = last == first ? suffix : "";
  xml_node run = para.texts[first].parent();
  if (!color || std::string_view(run.name()) != "w:r") {
    setText(para.texts[first], prefix + value + after);
    return;
  }
  setText(para.texts[first], prefix);
  xml_node valueRun = runAfter(run, run, value, color);
  if (!after.empty()) runAfter(run, valueRun, after, std::nullopt);
}

// Every paragraph of a part in document order (those of tables and text boxes included).
void collectParagraphs(xml_node node, std::vector<xml_node>& out) {
  for (xml_node c : node.children()) {
    if (c.type() != pugi::node_element) continue;
    if (std::string_view(c.name()) == "w:p") out.push_back(c);
    collectParagraphs(c, out);
  }
}

xml_node ancestor(xml_node node, std::string_view name) {
  for (xml_node n = node.parent(); n; n = n.parent()) {
    if (std::string_view(n.name()) == name) return n;
  }
  return {};
}

int indexAmong(xml_node node, std::string_view name) {
  int index = 1;
  for (xml_node s = node.previous_sibling(); s; s = s.previous_sibling()) {
    if (std::string_view(s.name()) == name) ++index;
  }
  return index;
}

// Where a paragraph stands, for messages: "正文第 3 段", "正文表格 1 第 2 行第 1 列".
std::string whereIs(xml_node p, const std::string& part, int paragraphNumber,
                    const std::vector<xml_node>& tables) {
  if (xml_node cell = ancestor(p, "w:tc")) {
    xml_node row = ancestor(cell, "w:tr");
    xml_node table = ancestor(row, "w:tbl");
    const auto t = std::find(tables.begin(), tables.end(), table) - tables.begin() + 1;
    return part + "表格 " + std::to_string(t) + " 第 " + std::to_string(indexAmong(row, "w:tr")) + " 行第 " +
           std::to_string(indexAmong(cell, "w:tc")) + " 列";
  }
  if (ancestor(p, "w:txbxContent")) return part + "文本框中第 " + std::to_string(paragraphNumber) + " 段";
  return part + "第 " + std::to_string(paragraphNumber) + " 段";
}

void collectTables(xml_node node, std::vector<xml_node>& out) {
  for (xml_node c : node.children()) {
    if (c.type() != pugi::node_element) continue;
    if (std::string_view(c.name()) == "w:tbl") out.push_back(c);
    collectTables(c, out);
  }
}

// A member part: table rows, or paragraphs (and whatever stands between them) of one parent.
struct MemberPart {
  xml_node container;           // the table, or the paragraphs' parent
  std::vector<xml_node> nodes;  // in order
  std::vector<xml_node> readingRows;
};

// The child of container that holds node (node itself when it is one), or none.
xml_node childHolding(xml_node container, xml_node node) {
  for (xml_node n = node; n; n = n.parent()) {
    if (n.parent() == container) return n;
  }
  return {};
}

bool hasField(const Paragraph& para, std::string_view name) {
  return std::any_of(para.fields.begin(), para.fields.end(), [&](const Field& f) { return f.name == name; });
}

// A part read for filling or checking: its paragraphs with their fields, and its member parts.
struct Part {
  std::string name;
  pugi::xml_document doc;
  std::vector<Paragraph> paragraphs;
  std::vector<xml_node> tables;
  std::vector<MemberPart> memberParts;
};

bool parsePart(Part& part, const std::string& xml) {
  if (!part.doc.load_buffer(xml.data(), xml.size(), kParseOptions)) return false;
  std::vector<xml_node> nodes;
  collectParagraphs(part.doc, nodes);
  for (xml_node p : nodes) part.paragraphs.push_back(readParagraph(p));
  collectTables(part.doc, part.tables);
  return true;
}

// Finds the member parts and reading rows of a part and every misplaced or unknown field.
void checkPart(Part& part, std::vector<std::string>& problems, std::vector<std::string>& parameters,
               std::vector<std::string>& declared) {
  const std::string label = partLabel(part.name);
  auto where = [&](std::size_t i) {
    return whereIs(part.paragraphs[i].node, label, static_cast<int>(i) + 1, part.tables);
  };
  // The member parts, from {{#构件}} to {{/构件}}.
  std::optional<std::size_t> open;
  for (std::size_t i = 0; i < part.paragraphs.size(); ++i) {
    const Paragraph& para = part.paragraphs[i];
    if (para.unclosed) problems.push_back("“{{”没有对应的“}}”（" + where(i) + "）");
    for (const Field& f : para.fields) {
      if (f.name != kMemberStart && f.name != kMemberEnd) continue;
      if (part.name != kBodyPart) {
        problems.push_back("{{" + f.name + "}} 只能用在正文中（" + where(i) + "）");
        continue;
      }
      if (f.name == kMemberStart) {
        if (open) problems.push_back("{{#构件}} 不能套在另一个 {{#构件}} 之内（" + where(i) + "）");
        open = i;
        continue;
      }
      if (!open) {
        problems.push_back("{{/构件}} 之前没有 {{#构件}}（" + where(i) + "）");
        continue;
      }
      const xml_node start = part.paragraphs[*open].node;
      const xml_node end = para.node;
      const xml_node startRow = ancestor(start, "w:tr");
      MemberPart member;
      if (startRow) {
        member.container = startRow.parent();
        const xml_node endRow = childHolding(member.container, end);
        if (!endRow || std::string_view(endRow.name()) != "w:tr") {
          problems.push_back("{{/构件}} 应与 {{#构件}} 在同一个表格中（" + where(i) + "）");
          open.reset();
          continue;
        }
        for (xml_node r = startRow; r; r = r.next_sibling()) {
          if (std::string_view(r.name()) == "w:tr") member.nodes.push_back(r);
          if (r == endRow) break;
        }
      } else {
        member.container = start.parent();
        if (end.parent() != member.container || ancestor(end, "w:tr")) {
          problems.push_back("{{/构件}} 应与 {{#构件}} 在同一层的段落中（" + where(i) + "）");
          open.reset();
          continue;
        }
        for (xml_node n = start; n; n = n.next_sibling()) {
          member.nodes.push_back(n);
          if (n == end) break;
        }
      }
      part.memberParts.push_back(std::move(member));
      open.reset();
    }
  }
  if (open) problems.push_back("{{#构件}} 没有对应的 {{/构件}}（" + where(*open) + "）");

  auto partHolding = [&](xml_node p) -> MemberPart* {
    for (MemberPart& m : part.memberParts) {
      const xml_node child = childHolding(m.container, p);
      if (child && std::find(m.nodes.begin(), m.nodes.end(), child) != m.nodes.end()) return &m;
    }
    return nullptr;
  };
  // Reading rows: a row of a member part's table holding {{#测点}}.
  for (std::size_t i = 0; i < part.paragraphs.size(); ++i) {
    if (!hasField(part.paragraphs[i], kReadingRow)) continue;
    const xml_node p = part.paragraphs[i].node;
    MemberPart* member = partHolding(p);
    const xml_node row = member != nullptr ? childHolding(member->container, p) : xml_node();
    if (!row || std::string_view(row.name()) != "w:tr") {
      problems.push_back("{{#测点}} 应在 {{#构件}} … {{/构件}} 之内的表格行中（" + where(i) + "）");
      continue;
    }
    auto& rows = member->readingRows;
    if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
  }
  // Every other field: known, and where its kind may stand.
  for (std::size_t i = 0; i < part.paragraphs.size(); ++i) {
    const xml_node p = part.paragraphs[i].node;
    for (const Field& f : part.paragraphs[i].fields) {
      if (f.name == kMemberStart || f.name == kMemberEnd || f.name == kReadingRow) continue;
      const std::optional<FieldScope> scope = userFieldScope(f.name);
      if (!scope) {
        problems.push_back("未知的字段 {{" + f.name + "}}（" + where(i) + "）");
        continue;
      }
      const MemberPart* member = partHolding(p);
      if (*scope == FieldScope::Member && member == nullptr) {
        problems.push_back("构件字段 {{" + f.name + "}} 应在 {{#构件}} … {{/构件}} 之内（" + where(i) + "）");
      } else if (*scope == FieldScope::Reading &&
                 (member == nullptr ||
                  std::find(member->readingRows.begin(), member->readingRows.end(),
                            childHolding(member->container, p)) == member->readingRows.end())) {
        problems.push_back("测点字段 {{" + f.name + "}} 应在有 {{#测点}} 的表格行中（" + where(i) + "）");
      } else if (*scope == FieldScope::Project) {
        auto once = [](std::vector<std::string>& list, std::string name) {
          if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(std::move(name));
        };
        if (f.name.starts_with(kDeclaredParameterPrefix)) {
          once(declared, f.name.substr(kDeclaredParameterPrefix.size()));
        } else if (parameterDefinition(f.name) != nullptr) {
          once(parameters, std::string(canonicalParameterName(f.name)));
        }
      }
    }
  }
}

// Fills every field of the paragraphs under `root` (all of them when root is the document) by
// value(name); fields value() does not know stay as they are.
template <class ValueOf>
void fillFields(xml_node root, ValueOf value) {
  std::vector<xml_node> nodes;
  if (std::string_view(root.name()) == "w:p") nodes.push_back(root);
  collectParagraphs(root, nodes);
  for (xml_node p : nodes) {
    Paragraph para = readParagraph(p);
    for (auto f = para.fields.rbegin(); f != para.fields.rend(); ++f) {
      const std::optional<std::pair<std::string, std::optional<std::uint32_t>>> v = value(f->name);
      if (v) replaceText(para, f->begin, f->end, v->first, v->second);
    }
  }
}

using FieldValue = std::optional<std::pair<std::string, std::optional<std::uint32_t>>>;

FieldValue plain(std::string text) { return std::make_pair(std::move(text), std::nullopt); }

// Repeats a member part per member, with its reading rows per ten readings.
void repeatMemberPart(const MemberPart& part, const UserReportValues& values) {
  xml_node container = part.container;
  const xml_node first = part.nodes.front();
  for (const MemberFieldValues& member : values.members) {
    std::vector<xml_node> copies;
    for (xml_node n : part.nodes) copies.push_back(container.insert_copy_before(n, first));
    for (std::size_t k = 0; k < part.nodes.size(); ++k) {
      if (std::find(part.readingRows.begin(), part.readingRows.end(), part.nodes[k]) ==
          part.readingRows.end()) {
        continue;
      }
      const xml_node rowTemplate = copies[k];
      const std::size_t chunks =
          std::max<std::size_t>(1, (member.readings.size() + kReadingsPerRow - 1) / kReadingsPerRow);
      for (std::size_t c = 0; c < chunks; ++c) {
        xml_node row = container.insert_copy_before(rowTemplate, rowTemplate);
        fillFields(row, [&](const std::string& name) -> FieldValue {
          if (name == kReadingRow) return plain("");
          if (userFieldScope(name) != FieldScope::Reading) return std::nullopt;
          const std::size_t j =
              c * kReadingsPerRow + std::stoul(name.substr(std::string_view("测点").size())) - 1;
          if (j >= member.readings.size()) return plain("");
          const auto& [text, passes] = member.readings[j];
          return std::make_pair(text,
                                passes ? std::nullopt : std::optional<std::uint32_t>(kFailingReadingColor));
        });
      }
      container.remove_child(rowTemplate);
      copies[k] = xml_node();
    }
    for (xml_node copy : copies) {
      if (!copy) continue;
      fillFields(copy, [&](const std::string& name) -> FieldValue {
        if (name == kMemberStart || name == kMemberEnd) return plain("");
        auto it = member.fields.find(name);
        if (it != member.fields.end()) return plain(it->second);
        return std::nullopt;
      });
    }
  }
  for (xml_node n : part.nodes) container.remove_child(n);
}

std::string serialized(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

struct LoadedTemplate {
  PackageParts parts;
  std::vector<std::unique_ptr<Part>> fieldParts;  // the body, headers and footers
  TemplateFields fields;
};

Result<LoadedTemplate> loadTemplate(PackageParts parts, const fs::path& file) {
  LoadedTemplate loaded;
  loaded.parts = std::move(parts);
  for (const auto& [name, data] : loaded.parts) {
    if (name != kBodyPart && !isHeaderOrFooter(name)) continue;
    if (std::string problem = xmlProblem(data); !problem.empty()) {
      return Error{"报告格式“" + displayPath(file) + "”已损坏，无法使用：其中的“" + name + "”" + problem +
                   "。"};
    }
    auto part = std::make_unique<Part>();
    part->name = name;
    if (!parsePart(*part, data))
      return Error{"报告格式“" + displayPath(file) + "”已损坏，无法使用：“" + name + "”无法读取。"};
    loaded.fieldParts.push_back(std::move(part));
  }
  if (loaded.fieldParts.empty() || loaded.fieldParts.front()->name != kBodyPart) {
    // The body first, so that member parts and messages come in reading order.
    auto body = std::find_if(loaded.fieldParts.begin(), loaded.fieldParts.end(),
                             [](const auto& p) { return p->name == kBodyPart; });
    if (body == loaded.fieldParts.end()) return Error{"报告格式“" + displayPath(file) + "”中没有正文。"};
    std::rotate(loaded.fieldParts.begin(), body, body + 1);
  }
  for (auto& part : loaded.fieldParts) {
    checkPart(*part, loaded.fields.problems, loaded.fields.parameters, loaded.fields.declaredParameters);
    loaded.fields.memberParts += static_cast<int>(part->memberParts.size());
  }
  return loaded;
}

Result<PackageParts> templateParts(const fs::path& file) {
  auto bytes = readWholeFile(file, kMaxTemplateFileSize);
  if (!bytes) return bytes.error();
  return readPackage(bytes.value(), file);
}

}  // namespace

Result<TemplateFields> checkUserTemplate(const fs::path& file) {
  auto parts = templateParts(file);
  if (!parts) return parts.error();
  return checkUserTemplate(std::move(parts.value()), file);
}

Result<TemplateFields> checkUserTemplate(PackageParts parts, const fs::path& name) {
  auto loaded = loadTemplate(std::move(parts), name);
  if (!loaded) return loaded.error();
  return std::move(loaded.value().fields);
}

FormatFields formatFields(const ChosenFormat& format) {
  if (format.builtIn >= 0) return builtInFormatFields(format.builtIn);
  FormatFields fields{format.name, {}, {}};
  auto checked = checkUserTemplate(format.userFile);
  if (!checked) {
    fields.problems.push_back(checked.message());
    return fields;
  }
  fields.printed = checked.value().parameters;
  fields.printed.insert(fields.printed.end(), checked.value().declaredParameters.begin(),
                        checked.value().declaredParameters.end());
  fields.problems = std::move(checked.value().problems);
  return fields;
}

Status fillUserTemplate(const fs::path& file, const UserReportValues& values, const fs::path& out) {
  auto parts = templateParts(file);
  if (!parts) return parts.error();
  return fillUserTemplate(std::move(parts.value()), file, values, out);
}

Status fillUserTemplate(PackageParts parts, const fs::path& file, const UserReportValues& values,
                        const fs::path& out) {
  auto loaded = loadTemplate(std::move(parts), file);
  if (!loaded) return loaded.error();
  LoadedTemplate& t = loaded.value();
  if (!t.fields.problems.empty()) {
    std::string text = "报告格式“" + displayPath(file.stem()) + "”中的字段有问题，没有生成报告：";
    for (const std::string& p : t.fields.problems) text += "\n" + p;
    return Error{text};
  }
  for (auto& part : t.fieldParts) {
    for (auto m = part->memberParts.rbegin(); m != part->memberParts.rend(); ++m)
      repeatMemberPart(*m, values);
    fillFields(part->doc, [&](const std::string& name) { return plain(values.projectField(name)); });
    for (auto& [name, data] : t.parts) {
      if (name == part->name) data = serialized(part->doc);
    }
  }
  auto doc = DocxDocument::loadParts(std::move(t.parts), file);
  if (!doc) return doc.error();
  return doc.value()->save(out);
}

Result<ReportOutput> writeUserReport(const Project& project, const ParameterValues& parameters,
                                     const fs::path& templateFile, const OfficePaths& paths,
                                     const CalendarDate& today, const CancelFlag* cancel) {
  if (Status s = refuseWithoutTickedMembers(project); !s) return Error{s.message()};
  if (isCancelled(cancel)) return Error{kCancelledMessage};
  ReportOutput output;
  output.report = paths.reportPath();
  output.dataTable = paths.dataTablePath();
  if (Status s = fillUserTemplate(templateFile, userReportValues(project, parameters, today), output.report);
      !s) {
    return Error{s.message()};
  }
  // The data table follows, as it follows the built-in formats.
  DocxWordSession word;
  Status table = exportDataTable(project, word, paths);
  std::size_t written = 0;
  if (table) table = word.finish(written);
  if (!table) {
    output.dataTable.clear();
    output.dataTableError = table.message();
    moveEarlierTableAside(paths.dataTablePath(), output);
  }
  return output;
}

Result<ReportOutput> writeReport(const Project& project, const ParameterValues& parameters,
                                 const ChosenFormat& format, const OfficePaths& paths,
                                 const CalendarDate& today, const CancelFlag* cancel) {
  if (format.builtIn < 0) return writeUserReport(project, parameters, format.userFile, paths, today, cancel);
  DocxWordSession word;
  return writeWordReport(project, parameters, format.builtIn, word, paths, today, cancel);
}

}  // namespace kro
