// Checking and filling .docx report templates.
#include "office/docx_template.h"

#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <set>
#include <sstream>

#include "model/file_io.h"
#include "model/statistics.h"

namespace kro {

namespace fs = std::filesystem;

namespace {

using pugi::xml_node;
using pugi::xml_node_struct;

constexpr std::string_view kBodyPart = "word/document.xml";
constexpr std::string_view kContentTypesPart = "[Content_Types].xml";
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;
// Bounds on what a template may hold, so that no template can exhaust the stack or memory.
constexpr int kMaxDepth = 256;
constexpr std::size_t kMaxElements = 2'000'000;
constexpr std::size_t kMaxFields = 100'000;
constexpr std::size_t kMaxMemberParts = 1000;
constexpr std::size_t kMaxProblems = 100;
// Elements of the report a template may make (its member parts once per member, reading rows
// once per ten readings): several times the data table at its limit of rows.
constexpr std::uint64_t kMaxOutputElements = 20'000'000;
constexpr int kMaxPadRows = 1000;
constexpr double kMaxImageMillimetres = 500;
constexpr long kEmuPerMillimetre = 36000;
// A part larger than this is compressed at the fastest level.
constexpr std::size_t kFastCompressionFrom = 4u << 20;

bool is(xml_node n, std::string_view name) { return n.name() == name; }

bool isHeaderOrFooter(std::string_view name) {
  return (name.starts_with("word/header") || name.starts_with("word/footer")) && name.ends_with(".xml");
}

std::string partLabel(std::string_view name) {
  if (name == kBodyPart) return "正文";
  return name.starts_with("word/header") ? "页眉" : "页脚";
}

// The relationships part of a part: word/document.xml -> word/_rels/document.xml.rels.
std::string relationshipsOf(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  return std::string(part.substr(0, slash + 1)) + "_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

std::string trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

// A field as it stands in a paragraph's text: {{name options}} from begin to end.
struct Field {
  std::string name;
  std::vector<std::string> options;
  std::size_t begin = 0;
  std::size_t end = 0;
};

Field parseField(std::string_view inside, std::size_t begin, std::size_t end) {
  Field f;
  f.begin = begin;
  f.end = end;
  std::istringstream words{trimmed(inside)};
  std::string word;
  if (words >> word) f.name = word;
  while (words >> word) f.options.push_back(word);
  return f;
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

// The index of the text node holding the paragraph's character at offset.
std::size_t textNodeAt(const Paragraph& para, std::size_t offset) {
  const auto after = std::upper_bound(para.starts.begin(), para.starts.end(), offset);
  return after == para.starts.begin() ? 0 : static_cast<std::size_t>(after - para.starts.begin()) - 1;
}

void collectTexts(xml_node parent, std::vector<xml_node>& out) {
  for (xml_node c : parent.children()) {
    if (c.type() != pugi::node_element) continue;
    if (is(c, "w:p")) continue;  // a text box's paragraph is a paragraph of its own
    if (is(c, "w:t")) {
      out.push_back(c);
    } else if (!is(c, "w:delText") && !is(c, "w:instrText")) {
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
        parseField(std::string_view(para.text).substr(at + 2, close - at - 2), at, close + 2));
    at = close + 2;
  }
  return para;
}

// Every paragraph under node in document order (those of tables and text boxes included).
void collectParagraphs(xml_node node, std::vector<xml_node>& out) {
  for (xml_node c : node.children()) {
    if (c.type() != pugi::node_element) continue;
    if (is(c, "w:p")) out.push_back(c);
    collectParagraphs(c, out);
  }
}

void collectTables(xml_node node, std::vector<xml_node>& out) {
  for (xml_node c : node.children()) {
    if (c.type() != pugi::node_element) continue;
    if (is(c, "w:tbl")) out.push_back(c);
    collectTables(c, out);
  }
}

xml_node ancestor(xml_node node, std::string_view name) {
  for (xml_node n = node.parent(); n; n = n.parent()) {
    if (is(n, name)) return n;
  }
  return {};
}

int indexAmong(xml_node node, std::string_view name) {
  int index = 1;
  for (xml_node s = node.previous_sibling(); s; s = s.previous_sibling()) {
    if (is(s, name)) ++index;
  }
  return index;
}

// The child of container that holds node (node itself when it is one), or none.
xml_node childHolding(xml_node container, xml_node node) {
  for (xml_node n = node; n; n = n.parent()) {
    if (n.parent() == container) return n;
  }
  return {};
}

// The deepest nesting and the number of elements of a document, without recursion.
std::pair<int, std::size_t> shapeOf(const pugi::xml_document& doc) {
  int depth = 0, deepest = 0;
  std::size_t elements = 0;
  xml_node n = doc.first_child();
  while (n) {
    ++elements;
    if (n.first_child()) {
      n = n.first_child();
      deepest = std::max(deepest, ++depth);
      continue;
    }
    while (n && !n.next_sibling()) {
      n = n.parent();
      --depth;
    }
    if (n) n = n.next_sibling();
  }
  return {deepest, elements};
}

// The number of elements in the subtree of n (n included), without recursion.
std::uint64_t elementCount(xml_node root) {
  std::uint64_t count = 0;
  xml_node n = root;
  while (n) {
    if (n.type() == pugi::node_element) ++count;
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && n != root && !n.next_sibling()) n = n.parent();
    if (!n || n == root) break;
    n = n.next_sibling();
  }
  return count;
}

// --- Formatting ---------------------------------------------------------------------------------

// Child elements in the order the schema requires them, for the properties we add.
constexpr const char* kRunOrder[] = {"w:rStyle",
                                     "w:rFonts",
                                     "w:b",
                                     "w:bCs",
                                     "w:i",
                                     "w:iCs",
                                     "w:caps",
                                     "w:smallCaps",
                                     "w:strike",
                                     "w:dstrike",
                                     "w:outline",
                                     "w:shadow",
                                     "w:emboss",
                                     "w:imprint",
                                     "w:noProof",
                                     "w:snapToGrid",
                                     "w:vanish",
                                     "w:webHidden",
                                     "w:color",
                                     "w:spacing",
                                     "w:w",
                                     "w:kern",
                                     "w:position",
                                     "w:sz",
                                     "w:szCs",
                                     "w:highlight",
                                     "w:u",
                                     "w:effect",
                                     "w:bdr",
                                     "w:shd",
                                     "w:fitText",
                                     "w:vertAlign",
                                     "w:rtl",
                                     "w:cs",
                                     "w:em",
                                     "w:lang",
                                     "w:eastAsianLayout",
                                     "w:specVanish"};
constexpr const char* kRowOrder[] = {"w:cnfStyle",  "w:divId",          "w:gridBefore", "w:gridAfter",
                                     "w:wBefore",   "w:wAfter",         "w:cantSplit",  "w:trHeight",
                                     "w:tblHeader", "w:tblCellSpacing", "w:jc",         "w:hidden"};
constexpr const char* kParagraphOrder[] = {"w:pStyle", "w:keepNext"};

template <std::size_t N>
std::size_t rankIn(const char* const (&order)[N], const char* name) {
  std::size_t i = 0;
  while (i < N && std::strcmp(order[i], name) != 0) ++i;
  return i;
}

// The child of parent named name, made in its schema place when missing.
template <std::size_t N>
xml_node childInOrder(xml_node parent, const char* name, const char* const (&order)[N]) {
  if (xml_node existing = parent.child(name)) return existing;
  const std::size_t own = rankIn(order, name);
  for (xml_node child : parent.children()) {
    if (rankIn(order, child.name()) > own) return parent.insert_child_before(name, child);
  }
  return parent.append_child(name);
}

xml_node propertiesOf(xml_node node, const char* name) {
  if (xml_node p = node.child(name)) return p;
  // Row properties follow a row's table-property exceptions; others come first.
  if (xml_node exceptions = node.child("w:tblPrEx")) return node.insert_child_after(name, exceptions);
  return node.prepend_child(name);
}

// The failing readings' formatting laid over a run's own: each of its properties replaces the
// run's property of that name.
void overlay(xml_node run, xml_node format) {
  xml_node rPr = propertiesOf(run, "w:rPr");
  for (xml_node property : format.children()) {
    rPr.remove_child(property.name());
    xml_node placed = childInOrder(rPr, property.name(), kRunOrder);
    for (pugi::xml_attribute a : property.attributes()) placed.append_attribute(a.name()) = a.value();
    for (xml_node c : property.children()) placed.append_copy(c);
  }
}

// Every paragraph of a row stays on the page of the next row, or no longer does.
void keepRowWithNext(xml_node tr, bool keep) {
  for (xml_node tc : tr.children("w:tc")) {
    for (xml_node p : tc.children("w:p")) {
      if (keep) {
        childInOrder(propertiesOf(p, "w:pPr"), "w:keepNext", kParagraphOrder);
      } else if (xml_node pPr = p.child("w:pPr")) {
        pPr.remove_child("w:keepNext");
      }
    }
  }
}

void setRowProperty(xml_node tr, const char* name) {
  childInOrder(propertiesOf(tr, "w:trPr"), name, kRowOrder);
}

// --- Text ----------------------------------------------------------------------------------------

void setText(xml_node t, const std::string& text) {
  t.text().set(text.c_str());
  if (!t.attribute("xml:space")) t.append_attribute("xml:space") = "preserve";
}

// Writes text after the text node t (in its run): the first line into t, every further line
// after a break, every tab as a tab element. Returns the last text node.
xml_node placeText(xml_node t, const std::string& text) {
  xml_node run = t.parent();
  xml_node at = t;
  std::string current;
  bool first = true;
  auto flush = [&] {
    if (first) {
      setText(t, current);
      first = false;
    } else {
      at = run.insert_child_after("w:t", at);
      setText(at, current);
    }
    current.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n' || c == '\t') {
      flush();
      at = run.insert_child_after(c == '\n' ? "w:br" : "w:tab", at);
    } else {
      current += c;
    }
  }
  flush();
  return at;
}

// A run like `run` (its properties copied, the failing format laid over them when given) holding
// text, after `after`.
xml_node runAfter(xml_node run, xml_node after, const std::string& text, xml_node failing) {
  xml_node copy = run.parent().insert_child_after("w:r", after);
  if (xml_node properties = run.child("w:rPr")) copy.append_copy(properties);
  if (failing) overlay(copy, failing);
  placeText(copy.append_child("w:t"), text);
  return copy;
}

// What a field becomes: a text (lines and tabs as a reader shows them), with the failing
// readings' formatting when given.
struct FieldText {
  std::string text;
  xml_node failing{};
  std::string struck{};  // shown struck through on a line before the text, in the strike format
  xml_node strike{};
  std::string mark{};  // shown after the text, raised
  xml_node raised{};
};

std::string shownText(std::string_view value) {
  std::string safe = xmlSafeText(value);
  std::string out;
  out.reserve(safe.size());
  for (std::size_t i = 0; i < safe.size(); ++i) {
    if (safe[i] == '\r') {
      out += '\n';
      if (i + 1 < safe.size() && safe[i + 1] == '\n') ++i;
    } else {
      out += safe[i];
    }
  }
  return out;
}

// Replaces the paragraph's text from begin to end by value, in the run of the first character
// (its formatting kept); a value in the failing format gets a run of its own.
void replaceText(Paragraph& para, std::size_t begin, std::size_t end, const FieldText& value) {
  const std::size_t first = textNodeAt(para, begin);
  const std::size_t last = textNodeAt(para, end - 1);
  const std::string firstText = para.texts[first].child_value();
  const std::string lastText = para.texts[last].child_value();
  const std::string prefix = firstText.substr(0, begin - para.starts[first]);
  const std::string suffix = lastText.substr(end - para.starts[last]);
  for (std::size_t k = first + 1; k < last; ++k) setText(para.texts[k], "");
  if (last != first) setText(para.texts[last], suffix);
  const std::string after = last == first ? suffix : "";
  xml_node run = para.texts[first].parent();
  if (!is(run, "w:r")) {
    setText(para.texts[first], prefix + value.struck + value.text + value.mark + after);
    return;
  }
  if (!value.failing && value.struck.empty() && value.mark.empty()) {
    if (value.text.find_first_of("\n\t") == std::string::npos) {
      setText(para.texts[first], prefix + value.text + after);
    } else {
      setText(para.texts[first], prefix);
      xml_node tail = placeText(run.insert_child_after("w:t", para.texts[first]), value.text);
      if (!after.empty()) setText(run.insert_child_after("w:t", tail), after);
    }
    return;
  }
  setText(para.texts[first], prefix);
  xml_node at = run;
  if (!value.struck.empty()) at = runAfter(run, at, value.struck + "\n", value.strike);
  at = runAfter(run, at, value.text, value.failing);
  if (!value.mark.empty()) at = runAfter(run, at, value.mark, value.raised);
  if (!after.empty()) runAfter(run, at, after, {});
}

// --- Template structure -------------------------------------------------------------------------

// A member part: table rows, or paragraphs (and whatever stands between them) of one parent.
struct MemberPart {
  xml_node container;           // the table, or the paragraphs' parent
  std::vector<xml_node> nodes;  // in order
  std::set<xml_node_struct*> readingRows;
  bool rows = false;
  bool log = false;  // a 修改记录 part: repeated per log entry, not per member
  bool keepTogether = false;
  bool repeatHeading = false;
  int atLeast = 0;
};

struct ImageSize {
  long cx = 0;  // EMU
  long cy = 0;
};

std::optional<ImageSize> parseImageSize(const std::vector<std::string>& options) {
  if (options.size() != 1) return std::nullopt;
  const std::string& o = options.front();
  const std::size_t x = o.find_first_of("xX×");
  if (x == std::string::npos) return std::nullopt;
  auto millimetres = [](std::string_view s) -> std::optional<double> {
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !(v > 0) || v > kMaxImageMillimetres)
      return std::nullopt;
    return v;
  };
  const std::size_t after = o.compare(x, 2, "×") == 0 ? x + 2 : x + 1;
  auto w = millimetres(std::string_view(o).substr(0, x));
  auto h = millimetres(std::string_view(o).substr(after));
  if (!w || !h) return std::nullopt;
  return ImageSize{static_cast<long>(*w * kEmuPerMillimetre), static_cast<long>(*h * kEmuPerMillimetre)};
}

// A part read for filling or checking: its paragraphs with their fields, and its structure.
struct Part {
  const FieldCatalog* catalog = nullptr;
  std::string name;
  pugi::xml_document doc;
  std::vector<Paragraph> paragraphs;
  std::vector<xml_node> tables;
  std::vector<MemberPart> memberParts;
  // Every node of a member part, to the part's index: which part holds a node is a walk up its
  // ancestors, whatever the number of parts.
  std::unordered_map<xml_node_struct*, std::size_t> memberNodes;
  std::set<xml_node_struct*> tablesKeptWithNext;
  pugi::xml_document failingFormat;  // w:rPr of {{不合格格式}}, when the part has it
  long textHeight = 13958;           // the body's page height within its margins, in twips
};

bool hasField(const Paragraph& para, std::string_view name) {
  return std::any_of(para.fields.begin(), para.fields.end(), [&](const Field& f) { return f.name == name; });
}

bool isLoopStart(std::string_view name) { return name == kMemberStart || name == kLogStart; }
bool isLoopEnd(std::string_view name) { return name == kMemberEnd || name == kLogEnd; }

// A condition's field: "?名称" or "^名称"; the name, or nothing for another field.
std::optional<std::string> conditionOf(const Field& f) {
  if (f.name.size() > 1 && (f.name[0] == '?' || f.name[0] == '^')) return f.name.substr(1);
  return std::nullopt;
}

bool isImage(const Field& f) {
  return f.name.starts_with(kImagePrefix) && f.name.size() > kImagePrefix.size();
}

// The code points of a UTF-8 text (a stray byte counts as one), for comparing names.
std::vector<std::string_view> codePoints(std::string_view text) {
  std::vector<std::string_view> points;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = 1;
    while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80 && n < 4) ++n;
    points.push_back(text.substr(i, n));
    i += n;
  }
  return points;
}

// The known name a mistyped one is closest to (at most a third of its characters away), or none.
std::optional<std::string> closestName(std::string_view typed, const std::vector<std::string>& names) {
  const std::vector<std::string_view> a = codePoints(typed);
  std::optional<std::string> best;
  std::size_t bestDistance = std::max<std::size_t>(1, a.size() / 3) + 1;
  for (const std::string& name : names) {
    const std::vector<std::string_view> b = codePoints(name);
    if (b.size() > a.size() + bestDistance || a.size() > b.size() + bestDistance) continue;
    // Edit distance, one row at a time.
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const std::size_t above = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
        diagonal = above;
      }
    }
    if (row[b.size()] < bestDistance) {
      bestDistance = row[b.size()];
      best = name;
    }
  }
  return best;
}

std::string whereIs(const Part& part, std::size_t i) {
  const xml_node p = part.paragraphs[i].node;
  const std::string label = partLabel(part.name);
  // Paragraphs counted as a reader counts them: the part's own apart from those in tables and
  // text boxes.
  auto kindOf = [](xml_node paragraph) {
    return ancestor(paragraph, "w:tc") ? 1 : ancestor(paragraph, "w:txbxContent") ? 2 : 0;
  };
  if (xml_node cell = ancestor(p, "w:tc")) {
    xml_node row = ancestor(cell, "w:tr");
    xml_node table = ancestor(row, "w:tbl");
    const auto t = std::find(part.tables.begin(), part.tables.end(), table) - part.tables.begin() + 1;
    return label + "表格 " + std::to_string(t) + " 第 " + std::to_string(indexAmong(row, "w:tr")) + " 行第 " +
           std::to_string(indexAmong(cell, "w:tc")) + " 列";
  }
  const int kind = kindOf(p);
  std::size_t n = 0;
  for (std::size_t k = 0; k <= i; ++k) n += kindOf(part.paragraphs[k].node) == kind ? 1 : 0;
  if (kind == 2) return label + "文本框中第 " + std::to_string(n) + " 段";
  return label + "第 " + std::to_string(n) + " 段";
}

// The member part holding node p, or none.
MemberPart* partHolding(Part& part, xml_node p) {
  for (xml_node n = p; n; n = n.parent()) {
    if (auto it = part.memberNodes.find(n.internal_object()); it != part.memberNodes.end())
      return &part.memberParts[it->second];
  }
  return nullptr;
}

bool inReadingRow(const MemberPart* member, xml_node p) {
  return member != nullptr &&
         member->readingRows.count(childHolding(member->container, p).internal_object()) != 0;
}

// Keeps the first of equal names, in their order.
void keepFirst(std::vector<std::string>& names) {
  std::set<std::string> seen;
  std::erase_if(names, [&seen](const std::string& name) { return !seen.insert(name).second; });
}

// Adds a problem; past the limit one line says that the rest are not listed.
bool problemsFull(const TemplateFields& fields) { return fields.problems.size() > kMaxProblems; }
void addProblem(TemplateFields& fields, std::string text) {
  if (fields.problems.size() < kMaxProblems) {
    fields.problems.push_back(std::move(text));
  } else if (fields.problems.size() == kMaxProblems) {
    fields.problems.push_back("问题太多，只列出了前 " + std::to_string(kMaxProblems) + " 个");
  }
}

// Reads the member-part options into part; each unknown one is a problem.
void readOptions(const Field& f, MemberPart& member, TemplateFields& fields, const std::string& where) {
  const std::string loop = "{{" + f.name + "}}";
  for (const std::string& o : f.options) {
    if (o == kKeepTogether) {
      member.keepTogether = true;
    } else if (o == kRepeatHeading) {
      member.repeatHeading = true;
    } else if (o.starts_with(kAtLeastPrefix) && o.ends_with("行")) {
      const std::string_view digits =
          std::string_view(o).substr(kAtLeastPrefix.size(), o.size() - kAtLeastPrefix.size() - 3);
      int n = 0;
      auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
      if (ec != std::errc() || end != digits.data() + digits.size() || n < 1 || n > kMaxPadRows) {
        addProblem(fields, loop + " 的“" + o + "”应为至少 1 到 " + std::to_string(kMaxPadRows) + " 行（" +
                               where + "）");
      } else {
        member.atLeast = n;
      }
    } else {
      addProblem(fields, loop + " 不认识的选项“" + o + "”：可用 同页、续表头、至少N行（" + where + "）");
    }
  }
}

// Finds the member parts, reading rows and markers of a part and every misplaced or unknown
// field.
void checkPart(Part& part, TemplateFields& fields) {
  auto where = [&](std::size_t i) { return problemsFull(fields) ? std::string() : whereIs(part, i); };
  // The repeated parts, from {{#构件}} to {{/构件}} or {{#修改记录}} to {{/修改记录}}.
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::size_t open = kNone;
  std::optional<Field> openField;
  std::size_t extraParts = 0;
  for (std::size_t i = 0; i < part.paragraphs.size(); ++i) {
    const Paragraph& para = part.paragraphs[i];
    if (para.unclosed) addProblem(fields, "“{{”没有对应的“}}”（" + where(i) + "）");
    for (const Field& f : para.fields) {
      if (!isLoopStart(f.name) && !isLoopEnd(f.name)) continue;
      const std::string field = "{{" + f.name + "}}";
      if (part.name != kBodyPart) {
        addProblem(fields, field + " 只能用在正文中（" + where(i) + "）");
        continue;
      }
      if (isLoopStart(f.name)) {
        if (open != kNone)
          addProblem(fields, field + " 不能套在另一个 {{" + openField->name + "}} 之内（" + where(i) + "）");
        open = i;
        openField = f;
        continue;
      }
      const std::string startField = "{{#" + f.name.substr(1) + "}}";
      if (open == kNone || openField->name.substr(1) != f.name.substr(1)) {
        addProblem(fields, field + " 之前没有 " + startField + "（" + where(i) + "）");
        continue;
      }
      const xml_node start = part.paragraphs[open].node;
      const xml_node end = para.node;
      const xml_node startRow = ancestor(start, "w:tr");
      MemberPart member;
      member.log = openField->name == kLogStart;
      readOptions(*openField, member, fields, where(open));
      if (startRow) {
        member.rows = true;
        member.container = startRow.parent();
        const xml_node endRow = childHolding(member.container, end);
        if (!endRow || !is(endRow, "w:tr")) {
          addProblem(fields, field + " 应与 " + startField + " 在同一个表格中（" + where(i) + "）");
          open = kNone;
          continue;
        }
        for (xml_node r = startRow; r; r = r.next_sibling()) {
          if (is(r, "w:tr")) member.nodes.push_back(r);
          if (r == endRow) break;
        }
      } else {
        member.container = start.parent();
        if (end.parent() != member.container || ancestor(end, "w:tr")) {
          addProblem(fields, field + " 应与 " + startField + " 在同一层的段落中（" + where(i) + "）");
          open = kNone;
          continue;
        }
        for (xml_node n = start; n; n = n.next_sibling()) {
          member.nodes.push_back(n);
          if (n == end) break;
        }
        if (member.keepTogether || member.repeatHeading) {
          addProblem(fields, startField + " 的“同页”“续表头”只用于表格行（" + where(open) + "）");
        }
      }
      if (part.memberParts.size() >= kMaxMemberParts) {
        if (++extraParts == 1)
          addProblem(fields,
                     "构件部分超过 " + std::to_string(kMaxMemberParts) + " 个（从" + where(open) + "起）");
        open = kNone;
        continue;
      }
      part.memberParts.push_back(std::move(member));
      open = kNone;
    }
  }
  if (open != kNone)
    addProblem(fields, "{{" + openField->name + "}} 没有对应的 {{/" + openField->name.substr(1) + "}}（" +
                           where(open) + "）");
  for (std::size_t k = 0; k < part.memberParts.size(); ++k) {
    for (xml_node n : part.memberParts[k].nodes) part.memberNodes.emplace(n.internal_object(), k);
  }

  // Reading rows: a row of a member part's table holding {{#测点}}.
  for (std::size_t i = 0; i < part.paragraphs.size(); ++i) {
    if (!hasField(part.paragraphs[i], kReadingRow)) continue;
    const xml_node p = part.paragraphs[i].node;
    MemberPart* member = partHolding(part, p);
    const xml_node row = member != nullptr && !member->log ? childHolding(member->container, p) : xml_node();
    if (!row || !is(row, "w:tr")) {
      addProblem(fields, "{{#测点}} 应在 {{#构件}} … {{/构件}} 之内的表格行中（" + where(i) + "）");
      continue;
    }
    member->readingRows.insert(row.internal_object());
  }
  // Every other field: known, and where its kind may stand.
  for (std::size_t i = 0; i < part.paragraphs.size(); ++i) {
    Paragraph& para = part.paragraphs[i];
    const xml_node p = para.node;
    const MemberPart* member = partHolding(part, p);
    std::set<std::string_view> required;  // the paragraph's {{?名称}}
    for (const Field& f : para.fields) {
      if (f.name.starts_with('?')) required.insert(f.name);
    }
    for (const Field& f : para.fields) {
      if (isLoopStart(f.name) || isLoopEnd(f.name) || f.name == kReadingRow) continue;
      if (!f.options.empty() && !isImage(f)) {
        addProblem(fields, "字段 {{" + f.name + "}} 不带选项（" + where(i) + "）");
        continue;
      }
      if (f.name == kFailingFormat) {
        if (member != nullptr || part.failingFormat.first_child()) {
          addProblem(fields, "{{不合格格式}} 只能在构件部分之外用一次（" + where(i) + "）");
          continue;
        }
        const std::size_t k = textNodeAt(para, f.begin);
        xml_node rPr = para.texts[k].parent().child("w:rPr");
        part.failingFormat.append_child("w:rPr");
        if (rPr) {
          part.failingFormat.remove_child("w:rPr");
          part.failingFormat.append_copy(rPr);
        }
        continue;
      }
      if (f.name == kKeepTableWithNext) {
        xml_node table = ancestor(p, "w:tbl");
        if (!table) {
          addProblem(fields, "{{表尾同页}} 应在表格之中（" + where(i) + "）");
          continue;
        }
        part.tablesKeptWithNext.insert(table.internal_object());
        continue;
      }
      if (isImage(f)) {
        if (!parseImageSize(f.options)) {
          addProblem(fields, "图片字段 {{" + f.name + "}} 应写出宽和高（毫米），例如 {{" + f.name +
                                 " 30x30}}（" + where(i) + "）");
          continue;
        }
        fields.images.push_back(f.name.substr(kImagePrefix.size()));
        continue;
      }
      const std::string name = conditionOf(f).value_or(f.name);
      const std::optional<FieldScope> scope = part.catalog->scope(name);
      if (!scope) {
        std::string problem = "未知的字段 {{" + f.name + "}}（" + where(i) + "）";
        if (part.catalog->names) {
          if (auto meant = closestName(name, part.catalog->names()))
            problem +=
                "：是否应为 {{" + (conditionOf(f) ? f.name.substr(0, 1) : std::string()) + *meant + "}}？";
        }
        addProblem(fields, std::move(problem));
        continue;
      }
      const bool inLog = member != nullptr && member->log;
      if (conditionOf(f) && *scope == FieldScope::Reading) {
        addProblem(fields, "测点字段不能作条件 {{" + f.name + "}}（" + where(i) + "）");
      } else if (*scope == FieldScope::LogEntry && !inLog) {
        addProblem(fields, "修改记录字段 {{" + f.name + "}} 应在 {{#修改记录}} … {{/修改记录}} 之内（" +
                               where(i) + "）");
      } else if (inLog && (*scope == FieldScope::Member || *scope == FieldScope::Reading) && name != "序号") {
        addProblem(fields, "构件字段 {{" + f.name + "}} 不能用在 {{#修改记录}} … {{/修改记录}} 之内（" +
                               where(i) + "）");
      } else if (*scope == FieldScope::Member && member == nullptr) {
        addProblem(fields, "构件字段 {{" + f.name + "}} 应在 {{#构件}} … {{/构件}} 之内（" + where(i) + "）");
      } else if (*scope == FieldScope::Reading && !inReadingRow(member, p)) {
        addProblem(fields, "测点字段 {{" + f.name + "}} 应在有 {{#测点}} 的表格行中（" + where(i) + "）");
      } else if (*scope == FieldScope::Project) {
        // A condition prints nothing, and a field its own paragraph keeps only when it has a value
        // is optional: neither counts as a parameter the format prints.
        const bool optional = conditionOf(f) || required.count("?" + name) != 0;
        if (name.starts_with(kDeclaredParameterPrefix)) {
          fields.declaredParameters.push_back(name.substr(kDeclaredParameterPrefix.size()));
        } else if (auto printed = part.catalog->printedParameter(name); printed && !optional) {
          fields.parameters.push_back(std::move(*printed));
        }
      }
    }
  }
}

bool parsePart(Part& part, const std::string& xml, std::string& problem) {
  if (!part.doc.load_buffer(xml.data(), xml.size(), kParseOptions)) {
    problem = "无法读取";
    return false;
  }
  const auto [depth, elements] = shapeOf(part.doc);
  if (depth > kMaxDepth) {
    problem = "嵌套超过 " + std::to_string(kMaxDepth) + " 层";
    return false;
  }
  if (elements > kMaxElements) {
    problem = "元素超过 " + std::to_string(kMaxElements) + " 个";
    return false;
  }
  std::vector<xml_node> nodes;
  collectParagraphs(part.doc, nodes);
  for (xml_node p : nodes) part.paragraphs.push_back(readParagraph(p));
  collectTables(part.doc, part.tables);
  const xml_node sect = part.doc.child("w:document").child("w:body").child("w:sectPr");
  part.textHeight = sect.child("w:pgSz").attribute("w:h").as_int(16838) -
                    sect.child("w:pgMar").attribute("w:top").as_int(1440) -
                    sect.child("w:pgMar").attribute("w:bottom").as_int(1440);
  return true;
}

struct LoadedTemplate {
  PackageParts parts;
  std::vector<std::unique_ptr<Part>> fieldParts;  // the body first, then headers and footers
  TemplateFields fields;
};

Result<LoadedTemplate> loadTemplate(PackageParts parts, const fs::path& file, const FieldCatalog& catalog) {
  LoadedTemplate loaded;
  loaded.parts = std::move(parts);
  const std::string damaged = "报告格式“" + displayPath(file) + "”已损坏，无法使用：";
  std::size_t fieldCount = 0;
  for (const auto& [name, data] : loaded.parts) {
    // What the template brings is written out again: it must be XML that Word accepts.
    if (name.ends_with(".xml") || name.ends_with(".rels")) {
      if (std::string problem = xmlProblem(data); !problem.empty())
        return Error{damaged + "其中的“" + name + "”" + problem + "。"};
    }
    if (name != kBodyPart && !isHeaderOrFooter(name)) continue;
    auto part = std::make_unique<Part>();
    part->catalog = &catalog;
    part->name = name;
    std::string problem;
    if (!parsePart(*part, data, problem)) return Error{damaged + "“" + name + "”" + problem + "。"};
    for (const Paragraph& para : part->paragraphs) fieldCount += para.fields.size();
    if (fieldCount > kMaxFields)
      return Error{"报告格式“" + displayPath(file) + "”的字段超过 " + std::to_string(kMaxFields) +
                   " 个，无法使用。"};
    loaded.fieldParts.push_back(std::move(part));
  }
  auto body = std::find_if(loaded.fieldParts.begin(), loaded.fieldParts.end(),
                           [](const auto& p) { return p->name == kBodyPart; });
  if (body == loaded.fieldParts.end()) return Error{"报告格式“" + displayPath(file) + "”中没有正文。"};
  // The body first, so that member parts and messages come in reading order.
  std::rotate(loaded.fieldParts.begin(), body, body + 1);
  for (auto& part : loaded.fieldParts) {
    checkPart(*part, loaded.fields);
    loaded.fields.memberParts += static_cast<int>(std::count_if(
        part->memberParts.begin(), part->memberParts.end(), [](const MemberPart& m) { return !m.log; }));
  }
  keepFirst(loaded.fields.parameters);
  keepFirst(loaded.fields.declaredParameters);
  keepFirst(loaded.fields.images);
  return loaded;
}

// --- Filling -------------------------------------------------------------------------------------

// Pictures placed in a part, to be added to the package with their relationships.
struct PlacedImage {
  std::string id;      // relationship id
  std::string target;  // "media/校验码-1.png"
  const std::string* bytes = nullptr;
};

struct Images {
  std::vector<std::pair<std::string, PlacedImage>> placed;  // part name, image
  int next = 1;
};

// What fills a part's fields: the project's values, the member's when filling a member part, the
// entry's when filling a 修改记录 part.
struct Filling {
  const ReportValues& values;
  const MemberFieldValues* member = nullptr;  // none outside member parts and in padding copies
  bool inPart = false;
  const MemberPart* loop = nullptr;  // the repeated part being filled
  const FieldMap* entry = nullptr;   // none outside 修改记录 parts and in padding copies
  std::size_t readingRow = 0;        // which ten readings a reading row shows
  xml_node failing{};                // the failing readings' run properties
  xml_node struck{};                 // the run properties of a corrected reading's value then
  xml_node raised{};                 // and of a reading's mark
  Part* part = nullptr;
  Images* images = nullptr;

  std::string value(const std::string& name) const {
    // Inside a 修改记录 part the entry's fields (序号 too) are its own; inside a member part the
    // member's fields (合格率 and 结论 too); a padding copy has none.
    if (loop != nullptr && loop->log &&
        (name == "序号" || part->catalog->scope(name) == FieldScope::LogEntry)) {
      if (entry == nullptr) return {};
      auto it = entry->find(name);
      return it != entry->end() ? it->second : std::string();
    }
    if (inPart && part->catalog->isMemberField(name)) {
      if (member == nullptr) return {};
      auto it = member->fields.find(name);
      return it != member->fields.end() ? it->second : std::string();
    }
    return values.projectField(name);
  }
};

// The drawing of an inline picture, with its namespaces declared where they are used.
void placeImage(xml_node run, xml_node after, const ImageSize& size, const std::string& id,
                const std::string& name, int number) {
  xml_node drawing = run.insert_child_after("w:drawing", after);
  xml_node inline_ = drawing.append_child("wp:inline");
  inline_.append_attribute("xmlns:wp") =
      "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
  for (const char* d : {"distT", "distB", "distL", "distR"}) inline_.append_attribute(d) = "0";
  xml_node extent = inline_.append_child("wp:extent");
  extent.append_attribute("cx") = std::to_string(size.cx).c_str();
  extent.append_attribute("cy") = std::to_string(size.cy).c_str();
  xml_node docPr = inline_.append_child("wp:docPr");
  docPr.append_attribute("id") = std::to_string(number).c_str();
  docPr.append_attribute("name") = name.c_str();
  xml_node graphic = inline_.append_child("a:graphic");
  graphic.append_attribute("xmlns:a") = "http://schemas.openxmlformats.org/drawingml/2006/main";
  xml_node data = graphic.append_child("a:graphicData");
  data.append_attribute("uri") = "http://schemas.openxmlformats.org/drawingml/2006/picture";
  xml_node pic = data.append_child("pic:pic");
  pic.append_attribute("xmlns:pic") = "http://schemas.openxmlformats.org/drawingml/2006/picture";
  xml_node nv = pic.append_child("pic:nvPicPr");
  xml_node cNvPr = nv.append_child("pic:cNvPr");
  cNvPr.append_attribute("id") = "0";
  cNvPr.append_attribute("name") = (name + ".png").c_str();
  nv.append_child("pic:cNvPicPr");
  xml_node fill = pic.append_child("pic:blipFill");
  xml_node blip = fill.append_child("a:blip");
  blip.append_attribute("xmlns:r") = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  blip.append_attribute("r:embed") = id.c_str();
  fill.append_child("a:stretch").append_child("a:fillRect");
  xml_node sp = pic.append_child("pic:spPr");
  xml_node xfrm = sp.append_child("a:xfrm");
  xml_node off = xfrm.append_child("a:off");
  off.append_attribute("x") = "0";
  off.append_attribute("y") = "0";
  xml_node ext = xfrm.append_child("a:ext");
  ext.append_attribute("cx") = std::to_string(size.cx).c_str();
  ext.append_attribute("cy") = std::to_string(size.cy).c_str();
  xml_node geometry = sp.append_child("a:prstGeom");
  geometry.append_attribute("prst") = "rect";
  geometry.append_child("a:avLst");
}

// Plain values of fields that lie within one text node, replaced in one pass over it: a node
// holding many fields is rewritten once, not once per field.
class NodeEdits {
 public:
  explicit NodeEdits(Paragraph& para) : para_(para) {}
  ~NodeEdits() { flush(); }
  NodeEdits(const NodeEdits&) = delete;
  NodeEdits& operator=(const NodeEdits&) = delete;

  // Takes the value when it can go with the others (fields come last first); false otherwise.
  bool take(const Field& f, const FieldText& value) {
    const std::size_t node = textNodeAt(para_, f.begin);
    if (value.failing || !value.struck.empty() || !value.mark.empty() ||
        value.text.find_first_of("\n\t") != std::string::npos || textNodeAt(para_, f.end - 1) != node) {
      flush();
      return false;
    }
    if (node != node_) flush();
    node_ = node;
    edits_.emplace_back(&f, value.text);
    return true;
  }
  // Applies what was taken, before a field is replaced otherwise.
  void flush() {
    if (edits_.empty()) return;
    const std::string_view text = para_.texts[node_].child_value();
    const std::size_t start = para_.starts[node_];
    std::string out;
    std::size_t at = 0;
    for (auto e = edits_.rbegin(); e != edits_.rend(); ++e) {
      out.append(text.substr(at, e->first->begin - start - at));
      out += e->second;
      at = e->first->end - start;
    }
    out.append(text.substr(at));
    setText(para_.texts[node_], out);
    edits_.clear();
  }

 private:
  Paragraph& para_;
  std::size_t node_ = 0;
  std::vector<std::pair<const Field*, std::string>> edits_;
};

// Fills every field of the paragraphs under root (root itself when it is one).
void fillFields(xml_node root, const Filling& filling) {
  std::vector<xml_node> nodes;
  if (is(root, "w:p")) nodes.push_back(root);
  collectParagraphs(root, nodes);
  for (xml_node p : nodes) {
    Paragraph para = readParagraph(p);
    NodeEdits edits(para);
    auto replace = [&](const Field& f, const FieldText& value) {
      if (!edits.take(f, value)) replaceText(para, f.begin, f.end, value);
    };
    for (auto f = para.fields.rbegin(); f != para.fields.rend(); ++f) {
      if (isLoopStart(f->name) || isLoopEnd(f->name) || f->name == kReadingRow ||
          f->name == kKeepTableWithNext || conditionOf(*f)) {
        replace(*f, {});
        continue;
      }
      if (isImage(*f)) {
        edits.flush();
        const std::string name = f->name.substr(kImagePrefix.size());
        auto image = filling.values.images.find(name);
        replaceText(para, f->begin, f->end, {});
        if (image == filling.values.images.end() || image->second.empty() || filling.images == nullptr)
          continue;
        const std::size_t k = textNodeAt(para, f->begin);
        xml_node text = para.texts[k];
        const int number = filling.images->next++;
        const PlacedImage placed{"rIdKroImage" + std::to_string(number),
                                 "media/kro-image-" + std::to_string(number) + ".png", &image->second};
        // The text before the field stays in its node; the picture follows it, then the rest.
        const std::string whole = text.child_value();
        const std::size_t cut = std::min(whole.size(), f->begin - para.starts[k]);
        setText(text, whole.substr(0, cut));
        xml_node rest = text.parent().insert_child_after("w:t", text);
        setText(rest, whole.substr(cut));
        placeImage(text.parent(), text, *parseImageSize(f->options), placed.id, name, number);
        filling.images->placed.emplace_back(filling.part->name, placed);
        continue;
      }
      if (filling.part->catalog->scope(f->name) == FieldScope::Reading) {
        const std::size_t number = std::stoul(f->name.substr(std::string_view("测点").size()));
        const std::size_t j = filling.readingRow * kReadingsPerRow + number - 1;
        if (filling.member == nullptr || j >= filling.member->readings.size()) {
          replace(*f, {});
          continue;
        }
        const ReadingValue& r = filling.member->readings[j];
        replace(*f, {r.text, r.passes ? xml_node() : filling.failing, r.struck, filling.struck, r.mark,
                     filling.raised});
        continue;
      }
      replace(*f, {.text = shownText(filling.value(f->name))});
    }
  }
}

// Whether the paragraph's conditions hold: {{?名称}} needs a value, {{^名称}} none.
bool conditionsHold(const Paragraph& para, const Filling& filling) {
  for (const Field& f : para.fields) {
    if (auto name = conditionOf(f)) {
      if (filling.value(*name).empty() == (f.name[0] == '?')) return false;
    }
  }
  return true;
}

// Leaves out what fails its conditions under root: a paragraph, or in a table the row. The nodes
// left out are collected, not removed, so that callers' handles stay valid until they are done.
// Nodes to leave out, each once, in the order found.
struct LeftOut {
  std::vector<xml_node> nodes;
  std::set<xml_node_struct*> seen;
  void add(xml_node n) {
    if (seen.insert(n.internal_object()).second) nodes.push_back(n);
  }
  bool has(xml_node n) const { return seen.count(n.internal_object()) != 0; }
  void removeAll() {
    for (xml_node n : nodes) {
      if (n && n.parent()) n.parent().remove_child(n);
    }
  }
};

void unmet(xml_node root, const Filling& filling, LeftOut& out) {
  std::vector<xml_node> nodes;
  if (is(root, "w:p")) nodes.push_back(root);
  collectParagraphs(root, nodes);
  for (xml_node p : nodes) {
    const Paragraph para = readParagraph(p);
    if (conditionsHold(para, filling)) continue;
    const xml_node row = ancestor(p, "w:tr");
    out.add(row ? row : p);
  }
}

// --- Writing -------------------------------------------------------------------------------------

// Writes XML to an output stream; the XML writer escapes what it prints.
class Sink final : public pugi::xml_writer {
 public:
  explicit Sink(std::ostream& out) : out_(out) {}
  void write(const void* data, std::size_t size) override {
    out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  void print(xml_node n) { n.print(*this, "", pugi::format_raw | pugi::format_no_declaration); }
  void declaration(xml_node n) { n.print(*this, "", pugi::format_raw); }
  void raw(std::string_view text) { write(text.data(), text.size()); }
  // An element's start tag with its attributes, and its end tag.
  void open(xml_node n) {
    pugi::xml_document shell;
    xml_node copy = shell.append_child(n.name());
    for (pugi::xml_attribute a : n.attributes()) copy.append_attribute(a.name()) = a.value();
    copy.append_child(pugi::node_pcdata);  // so that the element prints with an end tag
    std::ostringstream text;
    copy.print(text, "", pugi::format_raw | pugi::format_no_declaration);
    std::string s = text.str();
    raw(std::string_view(s).substr(0, s.size() - std::strlen(n.name()) - 3));
  }
  void close(xml_node n) {
    raw("</");
    raw(n.name());
    raw(">");
  }

 private:
  std::ostream& out_;
};

// The empty paragraph one point high that keeps two tables apart, which would otherwise merge.
constexpr std::string_view kTableSeparator =
    "<w:p><w:pPr><w:spacing w:before=\"0\" w:after=\"0\" w:line=\"20\" w:lineRule=\"exact\"/>"
    "<w:rPr><w:sz w:val=\"2\"/></w:rPr></w:pPr></w:p>";

// A table written row by row: opened before its first row, closed and opened again around a
// member longer than a page, its last row held back when it must stay with what follows.
class TableWriter {
 public:
  TableWriter(Sink& sink, xml_node tbl, bool keepLastWithNext, long textHeight)
      : sink_(sink), tbl_(tbl), keepLast_(keepLastWithNext), textHeight_(textHeight) {}

  void row(xml_node tr) {
    ensureOpen();
    if (!keepLast_) {
      sink_.print(tr);
      ++emitted_;
      return;
    }
    flushPending();
    pending_.reset();
    pending_.append_copy(tr);
  }
  void other(xml_node n) {
    manual([&] { sink_.print(n); });
  }
  // Something the caller writes itself inside the table.
  template <class Write>
  void manual(Write write) {
    ensureOpen();
    flushPending();
    write();
  }
  // The rows of one member.
  void block(const std::vector<xml_node>& rows, bool keepTogether, bool repeatHeading) {
    if (rows.empty()) return;
    if (keepTogether) {
      for (std::size_t k = 0; k < rows.size(); ++k) {
        setRowProperty(rows[k], "w:cantSplit");
        if (k + 1 < rows.size()) keepRowWithNext(rows[k], true);
      }
    }
    // A generous bound on a one-line row's height, 20 pt: a block within it fits on a page.
    constexpr long kRowHeightBound = 400;
    if (!repeatHeading || static_cast<long>(rows.size()) * kRowHeightBound <= textHeight_) {
      for (xml_node r : rows) row(r);
      return;
    }
    // A table of its own whose heading repeats on every page it spans and stays with its first
    // row; the other rows may break across pages, which they must.
    flushPending();
    if (open_ && emitted_ > 0) {
      closeTable();
      separate_ = true;
    }
    setRowProperty(rows.front(), "w:tblHeader");
    keepRowWithNext(rows.front(), true);
    for (std::size_t k = 1; k < rows.size(); ++k) keepRowWithNext(rows[k], false);
    ensureOpen();
    for (xml_node r : rows) sink_.print(r);
    emitted_ += rows.size();
    closeTable();
    separate_ = true;
  }
  void finish() {
    if (keepLast_ && pending_.first_child()) {
      setRowProperty(pending_.first_child(), "w:cantSplit");
      keepRowWithNext(pending_.first_child(), true);
    }
    closeTable();
  }

 private:
  void ensureOpen() {
    if (open_) return;
    if (separate_) sink_.raw(kTableSeparator);
    separate_ = false;
    sink_.open(tbl_);
    if (xml_node p = tbl_.child("w:tblPr")) sink_.print(p);
    if (xml_node g = tbl_.child("w:tblGrid")) sink_.print(g);
    open_ = true;
    emitted_ = 0;
  }
  void flushPending() {
    if (!pending_.first_child()) return;
    sink_.print(pending_.first_child());
    pending_.reset();
    ++emitted_;
  }
  void closeTable() {
    flushPending();
    if (!open_) return;
    sink_.close(tbl_);
    open_ = false;
  }

  Sink& sink_;
  xml_node tbl_;
  bool keepLast_;
  long textHeight_;
  bool open_ = false;
  bool separate_ = false;
  std::size_t emitted_ = 0;
  pugi::xml_document pending_;
};

// Writes one part: everything as the template has it (its project fields filled before), each
// member part once per member as it is made.
class PartWriter {
 public:
  PartWriter(Part& part, Sink& sink, const ReportValues& values, Images& images, const CancelFlag* cancel)
      : part_(part), sink_(sink), values_(values), images_(images), cancel_(cancel) {
    if (xml_node f = part.failingFormat.first_child()) {
      failing_ = f;
    } else {
      xml_node rPr = defaultFailing_.append_child("w:rPr");
      rPr.append_child("w:color").append_attribute("w:val") = "FF0000";
      failing_ = rPr;
    }
    // A corrected reading's value then: struck through, smaller than the value now.
    struck_ = defaultStruck_.append_child("w:rPr");
    struck_.append_child("w:strike");
    struck_.append_child("w:sz").append_attribute("w:val") = "16";
    struck_.append_child("w:szCs").append_attribute("w:val") = "16";
    raised_ = defaultStruck_.append_child("w:rPr");
    raised_.append_child("w:vertAlign").append_attribute("w:val") = "superscript";
    for (const MemberPart& m : part.memberParts) {
      for (xml_node n = m.container; n; n = n.parent()) holding_.insert(n.internal_object());
      starts_[m.nodes.front().internal_object()] = &m;
    }
    for (xml_node_struct* t : part.tablesKeptWithNext) {
      for (xml_node n = xml_node(t); n; n = n.parent()) holding_.insert(n.internal_object());
    }
  }

  bool write() {
    for (xml_node c : part_.doc.children()) {
      if (c.type() == pugi::node_declaration) {
        sink_.declaration(c);
      } else {
        node(c);
      }
    }
    return !isCancelled(cancel_);
  }

 private:
  void children(xml_node parent) {
    for (xml_node c = parent.first_child(); c; c = c.next_sibling()) {
      if (auto start = starts_.find(c.internal_object()); start != starts_.end()) {
        paragraphPart(*start->second);
        c = start->second->nodes.back();
        continue;
      }
      node(c);
    }
  }
  void node(xml_node n) {
    if (is(n, "w:tbl") && holding_.count(n.internal_object()) != 0) {
      table(n);
    } else if (holding_.count(n.internal_object()) != 0) {
      sink_.open(n);
      children(n);
      sink_.close(n);
    } else {
      sink_.print(n);
    }
  }

  void table(xml_node tbl) {
    TableWriter writer(sink_, tbl, part_.tablesKeptWithNext.count(tbl.internal_object()) != 0,
                       part_.textHeight);
    for (xml_node c = tbl.first_child(); c; c = c.next_sibling()) {
      if (is(c, "w:tblPr") || is(c, "w:tblGrid")) continue;
      if (auto start = starts_.find(c.internal_object()); start != starts_.end()) {
        const MemberPart& m = *start->second;
        each(m, [&](pugi::xml_document& copy) {
          std::vector<xml_node> rows;
          for (xml_node r : copy.children()) rows.push_back(r);
          writer.block(rows, m.keepTogether, m.repeatHeading);
        });
        c = m.nodes.back();
        continue;
      }
      if (holding_.count(c.internal_object()) != 0) {
        writer.manual([&] { node(c); });  // a row holding a nested table's member part
      } else if (is(c, "w:tr")) {
        writer.row(c);
      } else {
        writer.other(c);
      }
    }
    writer.finish();
  }

  void paragraphPart(const MemberPart& m) {
    each(m, [&](pugi::xml_document& copy) {
      for (xml_node n : copy.children()) sink_.print(n);
    });
  }

  // Makes the part once per ticked member or log entry (then empty copies up to its least number),
  // each in a document of its own that lives only while it is written.
  template <class Write>
  void each(const MemberPart& m, Write write) {
    const int count = static_cast<int>(m.log ? values_.logEntries.size() : values_.members.size());
    for (int k = 0; k < std::max(count, m.atLeast); ++k) {
      if (isCancelled(cancel_)) return;
      pugi::xml_document copy;
      const auto at = static_cast<std::size_t>(k);
      Filling filling{.values = values_,
                      .member = k < count && !m.log ? &values_.members[at] : nullptr,
                      .inPart = true,
                      .loop = &m,
                      .entry = k < count && m.log ? &values_.logEntries[at] : nullptr,
                      .failing = failing_,
                      .struck = struck_,
                      .raised = raised_,
                      .part = &part_,
                      .images = &images_};
      const MemberFieldValues* member = filling.member;
      std::vector<xml_node> nodes;
      for (xml_node n : m.nodes) nodes.push_back(copy.append_copy(n));
      LeftOut gone;
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        const bool readingRow = m.readingRows.count(m.nodes[i].internal_object()) != 0;
        if (!readingRow) {
          unmet(nodes[i], filling, gone);
          continue;
        }
        // The reading row once per ten readings (once, empty, without readings).
        const int rows = readingRows(member != nullptr ? member->readings.size() : 0);
        for (int r = 0; r < rows; ++r) {
          xml_node row = copy.insert_copy_before(nodes[i], nodes[i]);
          Filling reading = filling;
          reading.readingRow = static_cast<std::size_t>(r);
          fillFields(row, reading);
        }
        gone.add(nodes[i]);
      }
      gone.removeAll();
      for (xml_node n : copy.children()) fillFields(n, filling);
      write(copy);
    }
  }

  Part& part_;
  Sink& sink_;
  const ReportValues& values_;
  Images& images_;
  const CancelFlag* cancel_;
  pugi::xml_document defaultFailing_;
  xml_node failing_;
  pugi::xml_document defaultStruck_;  // holds both
  xml_node struck_;
  xml_node raised_;
  std::set<xml_node_struct*> holding_;  // ancestors of what is written piece by piece
  std::map<xml_node_struct*, const MemberPart*> starts_;
};

// The fields of a part outside its member parts, filled in place; what fails its condition and
// the {{不合格格式}} paragraph left out.
void fillProjectFields(Part& part, const ReportValues& values, Images& images) {
  Filling filling{.values = values, .part = &part, .images = &images};
  LeftOut gone;
  for (const Paragraph& para : part.paragraphs) {
    if (partHolding(part, para.node) != nullptr) continue;
    if (hasField(para, kFailingFormat)) {
      gone.add(para.node);
    } else if (!conditionsHold(para, filling)) {
      const xml_node row = ancestor(para.node, "w:tr");
      gone.add(row ? row : para.node);
    }
  }
  for (const Paragraph& para : part.paragraphs) {
    if (partHolding(part, para.node) != nullptr || gone.has(para.node)) continue;
    fillFields(para.node, filling);
  }
  // A row or paragraph left out must not be a member part's node nor hold a member part.
  std::set<xml_node_struct*> holdingParts;
  for (const MemberPart& m : part.memberParts) {
    for (xml_node n = m.container; n; n = n.parent()) holdingParts.insert(n.internal_object());
  }
  std::erase_if(gone.nodes, [&](xml_node n) {
    return part.memberNodes.count(n.internal_object()) != 0 || holdingParts.count(n.internal_object()) != 0;
  });
  gone.removeAll();
}

// Adds pictures to a relationships part (made when missing).
std::string withImageRelationships(const std::string& rels, const std::vector<PlacedImage>& images) {
  pugi::xml_document doc;
  if (rels.empty() || !doc.load_buffer(rels.data(), rels.size(), kParseOptions)) {
    doc.reset();
    xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    doc.append_child("Relationships").append_attribute("xmlns") =
        "http://schemas.openxmlformats.org/package/2006/relationships";
  }
  xml_node root = doc.child("Relationships");
  for (const PlacedImage& image : images) {
    xml_node r = root.append_child("Relationship");
    r.append_attribute("Id") = image.id.c_str();
    r.append_attribute("Type") = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
    r.append_attribute("Target") = image.target.c_str();
  }
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw);
  return out.str();
}

std::string withPngContentType(const std::string& types) {
  pugi::xml_document doc;
  if (!doc.load_buffer(types.data(), types.size(), kParseOptions)) return types;
  xml_node root = doc.child("Types");
  for (xml_node d : root.children("Default")) {
    if (std::string_view(d.attribute("Extension").value()) == "png") return types;
  }
  xml_node d = root.prepend_child("Default");
  d.append_attribute("Extension") = "png";
  d.append_attribute("ContentType") = "image/png";
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw);
  return out.str();
}

// Adds the values' custom properties to the package (docProps/custom.xml, made when missing,
// with its relationship and content type); a property of the same name is replaced.
void addCustomProperties(PackageParts& parts,
                         const std::map<std::string, std::string, std::less<>>& properties) {
  constexpr std::string_view kCustomPart = "docProps/custom.xml";
  auto find = [&](std::string_view name) {
    return std::find_if(parts.begin(), parts.end(), [&](const auto& p) { return p.first == name; });
  };
  auto reserialise = [](pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw);
    return out.str();
  };
  pugi::xml_document doc;
  auto custom = find(kCustomPart);
  if (custom == parts.end() ||
      !doc.load_buffer(custom->second.data(), custom->second.size(), kParseOptions) ||
      !doc.child("Properties")) {
    doc.reset();
    xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    xml_node root = doc.append_child("Properties");
    root.append_attribute("xmlns") =
        "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties";
    root.append_attribute("xmlns:vt") =
        "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
  }
  xml_node root = doc.child("Properties");
  int pid = 1;  // property ids start at 2
  for (xml_node p : root.children("property")) pid = std::max(pid, p.attribute("pid").as_int());
  for (const auto& [name, value] : properties) {
    for (xml_node p = root.child("property"); p;) {
      xml_node next = p.next_sibling("property");
      if (name == p.attribute("name").value()) root.remove_child(p);
      p = next;
    }
    xml_node p = root.append_child("property");
    p.append_attribute("fmtid") = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";
    p.append_attribute("pid") = ++pid;
    p.append_attribute("name") = name.c_str();
    p.append_child("vt:lpwstr").text() = value.c_str();
  }
  if (custom == parts.end()) {
    parts.emplace_back(std::string(kCustomPart), reserialise(doc));
    if (auto rels = find("_rels/.rels"); rels != parts.end()) {
      pugi::xml_document r;
      if (r.load_buffer(rels->second.data(), rels->second.size(), kParseOptions)) {
        xml_node rel = r.child("Relationships").append_child("Relationship");
        rel.append_attribute("Id") = "rIdKroCustomProperties";
        rel.append_attribute("Type") =
            "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties";
        rel.append_attribute("Target") = "docProps/custom.xml";
        rels->second = reserialise(r);
      }
    }
    if (auto types = find(kContentTypesPart); types != parts.end()) {
      pugi::xml_document t;
      if (t.load_buffer(types->second.data(), types->second.size(), kParseOptions)) {
        xml_node o = t.child("Types").append_child("Override");
        o.append_attribute("PartName") = "/docProps/custom.xml";
        o.append_attribute("ContentType") =
            "application/vnd.openxmlformats-officedocument.custom-properties+xml";
        types->second = reserialise(t);
      }
    }
  } else {
    custom->second = reserialise(doc);
  }
}

// Writes the package: the parts in memory, the body from its file. Fails naming output.
Status writePackage(const fs::path& output, const PackageParts& parts, const fs::path& bodyFile,
                    std::size_t bodySize) {
  auto created = createTemporaryBeside(output);
  if (!created) return created.error();
  const fs::path temp = created.value();
  int error = 0;
  zip_t* archive = zip_open(displayPath(temp).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) {
    const int reason = errno ? errno : EIO;
    removeQuietly(temp);
    return Error{fileErrorMessage("无法写入", output, reason)};
  }
  bool ok = true;
  auto added = [&](const std::string& name, zip_source_t* source, std::size_t size) {
    if (source == nullptr) {
      ok = false;
      return;
    }
    const zip_int64_t index =
        zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);
      ok = false;
      return;
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                             size >= kFastCompressionFrom ? 1 : 0);
  };
  // [Content_Types].xml first, as readers expect; then the body; then the rest in their order.
  for (const auto& [name, data] : parts) {
    if (name == kContentTypesPart)
      added(name, zip_source_buffer(archive, data.data(), data.size(), 0), data.size());
  }
  added(std::string(kBodyPart), zip_source_file(archive, displayPath(bodyFile).c_str(), 0, -1), bodySize);
  for (const auto& [name, data] : parts) {
    if (name != kContentTypesPart && name != kBodyPart)
      added(name, zip_source_buffer(archive, data.data(), data.size(), 0), data.size());
  }
  if (!ok || zip_close(archive) != 0) {
    // A failed close leaves the archive open; it must be discarded after reading its error.
    const zip_error_t* reason = zip_get_error(archive);
    const int system =
        reason != nullptr && zip_error_system_type(reason) == ZIP_ET_SYS ? zip_error_code_system(reason) : 0;
    zip_discard(archive);
    removeQuietly(temp);
    return system > 0 ? Error{fileErrorMessage("无法写入", output, system)}
                      : Error{"无法写入“" + displayPath(output) + "”：打包文档时出错。"};
  }
  return replaceWithTemporary(temp, output);
}

Result<PackageParts> templateParts(const fs::path& file) {
  auto bytes = readWholeFile(file, kMaxTemplateFileSize);
  if (!bytes) return bytes.error();
  return readPackage(bytes.value(), file);
}

}  // namespace

Result<TemplateFields> checkTemplateParts(PackageParts parts, const fs::path& name,
                                          const FieldCatalog& catalog) {
  auto loaded = loadTemplate(std::move(parts), name, catalog);
  if (!loaded) return loaded.error();
  return std::move(loaded.value().fields);
}

Status fillTemplateParts(PackageParts parts, const fs::path& name, const FieldCatalog& catalog,
                         const ReportValues& values, const fs::path& output, const CancelFlag* cancel) {
  auto loaded = loadTemplate(std::move(parts), name, catalog);
  if (!loaded) return loaded.error();
  LoadedTemplate& t = loaded.value();
  if (!t.fields.problems.empty()) {
    std::string text = "报告格式“" + displayPath(name.stem()) + "”中的字段有问题，没有生成报告：";
    for (const std::string& p : t.fields.problems) text += "\n" + p;
    return Error{text};
  }
  // What the member parts will make, refused before any work when it is beyond reason.
  std::uint64_t made = 0;
  for (const auto& part : t.fieldParts) {
    for (const MemberPart& m : part->memberParts) {
      if (m.log) {
        for (xml_node n : m.nodes)
          made += elementCount(n) * std::max(values.logEntries.size(), static_cast<std::size_t>(m.atLeast));
        continue;
      }
      const std::size_t members = std::max(values.members.size(), static_cast<std::size_t>(m.atLeast));
      std::uint64_t rows = 0;  // reading rows of every member, padding copies' included
      for (std::size_t k = 0; k < members; ++k)
        rows += readingRows(k < values.members.size() ? values.members[k].readings.size() : 0);
      for (xml_node n : m.nodes) {
        const bool readingRow = m.readingRows.count(n.internal_object()) != 0;
        made += elementCount(n) * (readingRow ? rows : members);
      }
    }
  }
  if (made > kMaxOutputElements) {
    return Error{"报告格式“" + displayPath(name.stem()) + "”为这些构件将生成约 " +
                 std::to_string(made / 10000) + " 万个元素，超过了 " +
                 std::to_string(kMaxOutputElements / 10000) +
                 " 万的上限：请减少格式中构件部分的内容，或分几次为较少的构件生成报告。"};
  }
  Images images;
  // The body goes to a file of its own beside the output, written as it is made.
  auto bodyFile = createTemporaryBeside(output);
  if (!bodyFile) return bodyFile.error();
  struct Remove {
    fs::path file;
    ~Remove() { removeQuietly(file); }
  } removeBody{bodyFile.value()};
  std::size_t bodySize = 0;
  for (auto& part : t.fieldParts) {
    fillProjectFields(*part, values, images);
    if (part->name == kBodyPart) {
      std::ofstream out(bodyFile.value(), std::ios::binary | std::ios::trunc);
      std::vector<char> buffer(1 << 20);
      out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      Sink sink(out);
      if (!PartWriter(*part, sink, values, images, cancel).write()) return Error{kCancelledMessage};
      out.flush();
      if (!out) return Error{fileErrorMessage("无法写入", output, errno ? errno : EIO)};
      bodySize = static_cast<std::size_t>(out.tellp());
      continue;
    }
    std::ostringstream out;
    Sink sink(out);
    PartWriter(*part, sink, values, images, cancel).write();
    for (auto& [partName, data] : t.parts) {
      if (partName == part->name) data = out.str();
    }
  }
  if (isCancelled(cancel)) return Error{kCancelledMessage};
  if (!images.placed.empty()) {
    std::map<std::string, std::vector<PlacedImage>> byPart;
    for (const auto& [partName, image] : images.placed) byPart[partName].push_back(image);
    for (const auto& [partName, list] : byPart) {
      const std::string relsName = relationshipsOf(partName);
      auto rels =
          std::find_if(t.parts.begin(), t.parts.end(), [&](const auto& p) { return p.first == relsName; });
      if (rels == t.parts.end()) {
        t.parts.emplace_back(relsName, withImageRelationships({}, list));
      } else {
        rels->second = withImageRelationships(rels->second, list);
      }
      for (const PlacedImage& image : list) t.parts.emplace_back("word/" + image.target, *image.bytes);
    }
    for (auto& [partName, data] : t.parts) {
      if (partName == kContentTypesPart) data = withPngContentType(data);
    }
  }
  if (!values.properties.empty()) addCustomProperties(t.parts, values.properties);
  // Every part but the body is small: each is parsed back before anything is written, so that no
  // reader is given a document it cannot open. The body is made by the XML writer alone.
  for (const auto& [partName, data] : t.parts) {
    if (partName == kBodyPart || (!partName.ends_with(".xml") && !partName.ends_with(".rels"))) continue;
    if (std::string problem = xmlProblem(data); !problem.empty()) {
      return Error{"无法写入“" + displayPath(output) + "”：生成的文档内容无效，其中的“" + partName + "”" +
                   problem + "。"};
    }
  }
  return writePackage(output, t.parts, bodyFile.value(), bodySize);
}

Result<TemplateFields> DocxTemplateFiller::check(const fs::path& templateFile) {
  auto parts = templateParts(templateFile);
  if (!parts) return parts.error();
  return checkTemplateParts(std::move(parts.value()), templateFile, catalog_);
}

Status DocxTemplateFiller::fill(const fs::path& templateFile, const ReportValues& values,
                                const fs::path& output, const CancelFlag* cancel) {
  auto parts = templateParts(templateFile);
  if (!parts) return parts.error();
  return fillTemplateParts(std::move(parts.value()), templateFile, catalog_, values, output, cancel);
}

}  // namespace kro
