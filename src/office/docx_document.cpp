// The .docx line model and edits, on pugixml, with libzip for the package.
#include "office/docx_document.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "model/file_io.h"
#include "office/package.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

constexpr const char* kBodyPart = "word/document.xml";
constexpr const char* kNumberingPart = "word/numbering.xml";

bool isLeadByte(unsigned char c) { return (c & 0xC0) != 0x80; }

std::size_t codePoints(std::string_view s) {
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return isLeadByte(static_cast<unsigned char>(c)); }));
}

// Byte offset of the n-th code point.
std::size_t byteOffset(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  for (; i < s.size() && n > 0; ++i) {
    if (i + 1 >= s.size() || isLeadByte(static_cast<unsigned char>(s[i + 1]))) --n;
  }
  return i;
}

bool is(pugi::xml_node n, const char* name) { return std::strcmp(n.name(), name) == 0; }

// The pieces of inserted text: plain text, a tab, a line break, or a paragraph break.
struct Piece {
  enum Kind { Text, Tab, Break, Paragraph } kind;
  std::string text;
};

std::vector<Piece> pieces(std::string_view text) {
  // What XML cannot hold is gone first (a pasted manual line break or page break became a
  // line feed); what remains splits at paragraph ends, line breaks and tabs.
  const std::string utf8 = xmlSafeText(text);
  std::vector<Piece> out;
  std::string current;
  auto flush = [&] {
    if (!current.empty()) out.push_back({Piece::Text, current});
    current.clear();
  };
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\r') {
      flush();
      if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
      out.push_back({Piece::Paragraph, {}});
    } else if (c == '\n') {
      flush();
      out.push_back({Piece::Break, {}});
    } else if (c == '\t') {
      flush();
      out.push_back({Piece::Tab, {}});
    } else {
      current += c;
    }
  }
  flush();
  return out;
}

// Run-property children in the order the schema requires.
const char* const kRunPropertyOrder[] = {"w:rStyle",
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

int propertyRank(const char* name) {
  for (std::size_t i = 0; i < std::size(kRunPropertyOrder); ++i) {
    if (std::strcmp(kRunPropertyOrder[i], name) == 0) return static_cast<int>(i);
  }
  return static_cast<int>(std::size(kRunPropertyOrder));
}

// The run-property child of that name, made in its schema place when missing.
pugi::xml_node runProperty(pugi::xml_node rPr, const char* name) {
  if (pugi::xml_node existing = rPr.child(name)) return existing;
  const int rank = propertyRank(name);
  for (pugi::xml_node child : rPr.children()) {
    if (propertyRank(child.name()) > rank) return rPr.insert_child_before(name, child);
  }
  return rPr.append_child(name);
}

pugi::xml_node runProperties(pugi::xml_node run) {
  if (pugi::xml_node rPr = run.child("w:rPr")) return rPr;
  return run.prepend_child("w:rPr");
}

void setAttribute(pugi::xml_node node, const char* name, const std::string& value) {
  pugi::xml_attribute a = node.attribute(name);
  if (!a) a = node.append_attribute(name);
  a.set_value(value.c_str());
}

// The formatting new text takes: the run before the insertion point, else the paragraph mark's.
pugi::xml_node formattingSource(pugi::xml_node paragraph, pugi::xml_node before) {
  for (pugi::xml_node n = before; n; n = n.previous_sibling()) {
    if (is(n, "w:r") && n.child("w:rPr")) return n.child("w:rPr");
    if (is(n, "w:r")) return {};
  }
  return paragraph.child("w:pPr").child("w:rPr");
}

// A new run after `after`, or at the start of the paragraph (after its properties), with a copy
// of the given run properties.
pugi::xml_node makeRun(pugi::xml_node parent, pugi::xml_node after, pugi::xml_node format) {
  if (!after && is(parent, "w:p")) after = parent.child("w:pPr");
  pugi::xml_node run = after ? parent.insert_child_after("w:r", after) : parent.prepend_child("w:r");
  if (format) {
    pugi::xml_node rPr = run.append_child("w:rPr");
    for (pugi::xml_node child : format.children()) rPr.append_copy(child);
  }
  return run;
}

void addText(pugi::xml_node run, const std::string& text) {
  pugi::xml_node t = run.append_child("w:t");
  t.append_attribute("xml:space").set_value("preserve");
  t.text().set(text.c_str());
}

// The run's content for one piece; a paragraph break inside a run is a line break.
void appendPiece(pugi::xml_node run, const Piece& piece) {
  switch (piece.kind) {
    case Piece::Text:
      addText(run, piece.text);
      break;
    case Piece::Tab:
      run.append_child("w:tab");
      break;
    case Piece::Break:
    case Piece::Paragraph:
      run.append_child("w:br");
      break;
  }
}

}  // namespace

Result<std::unique_ptr<DocxDocument>> DocxDocument::load(const fs::path& path) {
  auto bytes = readWholeFile(path, kMaxTemplateFileSize);
  if (!bytes) return bytes.error();
  return loadBytes(bytes.value(), path);
}

Result<std::unique_ptr<DocxDocument>> DocxDocument::loadBytes(std::string_view bytes, const fs::path& path) {
  auto parts = readPackage(bytes, path);
  if (!parts) return parts.error();
  return loadParts(std::move(parts.value()), path);
}

Result<std::unique_ptr<DocxDocument>> DocxDocument::loadParts(PackageParts parts, const fs::path& path) {
  // What the template brings is written out again: it must be XML that Word accepts.
  for (const auto& [name, data] : parts) {
    if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
    if (std::string problem = xmlProblem(data); !problem.empty()) {
      return Error{"文档“" + displayPath(path) + "”已损坏，无法使用：其中的“" + name + "”" + problem + "。"};
    }
  }
  auto doc = std::unique_ptr<DocxDocument>(new DocxDocument());
  std::string body;
  for (auto& [name, data] : parts) {
    if (name == kBodyPart) {
      body = std::move(data);
    } else {
      doc->parts_.emplace_back(std::move(name), std::move(data));
    }
  }
  if (body.empty() ||
      !doc->body_.load_buffer(body.data(), body.size(), pugi::parse_default | pugi::parse_ws_pcdata_single)) {
    return Error{"文档“" + displayPath(path) + "”已损坏，无法使用：正文无法读取。"};
  }
  // Numbering labels: the text of level 0 with its number fields removed.
  for (const auto& [name, data] : doc->parts_) {
    if (name != kNumberingPart) continue;
    pugi::xml_document numbering;
    if (!numbering.load_buffer(data.data(), data.size())) break;
    std::map<std::string, std::string> abstractLabels;
    for (pugi::xml_node a : numbering.child("w:numbering").children("w:abstractNum")) {
      std::string text =
          a.find_child_by_attribute("w:lvl", "w:ilvl", "0").child("w:lvlText").attribute("w:val").value();
      for (std::size_t at; (at = text.find('%')) != std::string::npos;) text.erase(at, 2);
      abstractLabels[a.attribute("w:abstractNumId").value()] = text;
    }
    for (pugi::xml_node n : numbering.child("w:numbering").children("w:num")) {
      doc->labels_[n.attribute("w:numId").value()] =
          abstractLabels[n.child("w:abstractNumId").attribute("w:val").value()];
    }
  }
  return doc;
}

Status DocxDocument::save(const fs::path& path) {
  std::ostringstream xml;
  body_.save(xml, "", pugi::format_raw);
  const std::string body = xml.str();
  // The only part we change is the body: it is parsed back before anything is written, so a
  // document no reader could open is never written.
  if (std::string problem = xmlProblem(body); !problem.empty()) {
    return Error{"无法写入“" + displayPath(path) + "”：生成的文档内容无效，" + problem + "。"};
  }
  auto created = createTemporaryBeside(path);
  if (!created) return created.error();
  const fs::path temp = created.value();
  int error = 0;
  zip_t* archive = zip_open(displayPath(temp).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) {
    const int reason = errno ? errno : EIO;
    removeQuietly(temp);
    return Error{fileErrorMessage("无法写入", path, reason)};
  }
  bool ok = true;
  auto add = [&](const std::string& name, const std::string& data) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    if (source == nullptr) {
      ok = false;
      return;
    }
    if (zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(source);
      ok = false;
    }
  };
  // [Content_Types].xml first, as readers expect; then the body where it was.
  for (const auto& [name, data] : parts_) {
    if (name == "[Content_Types].xml") add(name, data);
  }
  add(kBodyPart, body);
  for (const auto& [name, data] : parts_) {
    if (name != "[Content_Types].xml") add(name, data);
  }
  if (!ok || zip_close(archive) != 0) {
    // A failed close leaves the archive open; it must be discarded after reading its error.
    const zip_error_t* reason = zip_get_error(archive);
    const int system =
        reason != nullptr && zip_error_system_type(reason) == ZIP_ET_SYS ? zip_error_code_system(reason) : 0;
    zip_discard(archive);
    removeQuietly(temp);
    return system > 0 ? Error{fileErrorMessage("无法写入", path, system)}
                      : Error{"无法写入“" + displayPath(path) + "”：打包文档时出错。"};
  }
  return replaceWithTemporary(temp, path);
}

void DocxDocument::indexLines() {
  if (linesValid_) return;
  lines_.clear();
  for (pugi::xml_node n : body_.child("w:document").child("w:body").children()) {
    if (is(n, "w:p")) {
      int breaks = 0;
      for (pugi::xml_node r : n.children("w:r")) {
        for (pugi::xml_node c : r.children()) breaks += is(c, "w:br") || is(c, "w:cr") ? 1 : 0;
      }
      for (int s = 0; s <= breaks; ++s) lines_.push_back({n, s});
    } else if (is(n, "w:tbl")) {
      for (pugi::xml_node row : n.children("w:tr")) lines_.push_back({row, 0});
    }
  }
  linesValid_ = true;
}

void DocxDocument::indexTables() {
  if (tablesValid_) return;
  tables_.clear();
  for (pugi::xml_node n : body_.child("w:document").child("w:body").children("w:tbl")) {
    std::vector<pugi::xml_node> rows;
    for (pugi::xml_node row : n.children("w:tr")) rows.push_back(row);
    tables_.push_back(std::move(rows));
  }
  tablesValid_ = true;
}

int DocxDocument::lineCount() {
  indexLines();
  return static_cast<int>(lines_.size());
}

bool DocxDocument::isRowLine(int line) {
  indexLines();
  return line >= 0 && line < lineCount() && is(lines_[static_cast<std::size_t>(line)].node, "w:tr");
}

int DocxDocument::lineOf(pugi::xml_node node, int segment) {
  indexLines();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].node == node && lines_[i].segment == segment) return static_cast<int>(i);
  }
  return 0;
}

int DocxDocument::lineLength(int line) {
  indexLines();
  if (line < 0 || line >= lineCount()) return 0;
  const Line& l = lines_[static_cast<std::size_t>(line)];
  if (is(l.node, "w:tr"))
    return static_cast<int>(std::distance(l.node.children("w:tc").begin(), l.node.children("w:tc").end()));
  int segment = 0;
  std::size_t length = 0;
  for (pugi::xml_node r : l.node.children("w:r")) {
    for (pugi::xml_node c : r.children()) {
      if (is(c, "w:br") || is(c, "w:cr")) {
        ++segment;
      } else if (segment == l.segment) {
        if (is(c, "w:t")) length += codePoints(c.text().get());
        if (is(c, "w:tab")) ++length;
      }
    }
  }
  return static_cast<int>(length);
}

std::string DocxDocument::label(pugi::xml_node paragraph) const {
  const char* numId = paragraph.child("w:pPr").child("w:numPr").child("w:numId").attribute("w:val").value();
  auto it = labels_.find(numId);
  return it == labels_.end() ? std::string() : it->second;
}

std::string DocxDocument::lineText(int line) {
  indexLines();
  if (line < 0 || line >= lineCount()) return {};
  const Line& l = lines_[static_cast<std::size_t>(line)];
  std::string out;
  if (is(l.node, "w:tr")) {
    bool first = true;
    for (pugi::xml_node cell : l.node.children("w:tc")) {
      if (!first) out += '\t';
      first = false;
      bool firstParagraph = true;
      for (pugi::xml_node p : cell.children("w:p")) {
        if (!firstParagraph) out += ' ';
        firstParagraph = false;
        for (pugi::xml_node r : p.children("w:r")) {
          for (pugi::xml_node c : r.children())
            out += is(c, "w:t") ? c.text().get() : is(c, "w:tab") ? "\t" : "";
        }
      }
    }
    return out;
  }
  if (l.segment == 0) out = label(l.node);
  int segment = 0;
  for (pugi::xml_node r : l.node.children("w:r")) {
    for (pugi::xml_node c : r.children()) {
      if (is(c, "w:br") || is(c, "w:cr")) {
        ++segment;
      } else if (segment == l.segment) {
        if (is(c, "w:t")) out += c.text().get();
        if (is(c, "w:tab")) out += '\t';
      }
    }
  }
  return out;
}

DocxDocument::Position DocxDocument::insert(Position at, std::string_view utf8,
                                            std::vector<pugi::xml_node>* runs) {
  indexLines();
  if (lines_.empty()) return at;
  at.line = std::clamp(at.line, 0, lineCount() - 1);
  const Line l = lines_[static_cast<std::size_t>(at.line)];
  if (is(l.node, "w:tr")) {
    // Text typed in a row goes to the end of the cell at the column.
    std::vector<pugi::xml_node> cells;
    for (pugi::xml_node c : l.node.children("w:tc")) cells.push_back(c);
    if (cells.empty()) return at;
    pugi::xml_node cell =
        cells[static_cast<std::size_t>(std::clamp(at.column, 0, static_cast<int>(cells.size()) - 1))];
    pugi::xml_node paragraph = cell.last_child();
    while (paragraph && !is(paragraph, "w:p")) paragraph = paragraph.previous_sibling();
    if (!paragraph) paragraph = cell.append_child("w:p");
    for (const Piece& piece : pieces(utf8)) {
      pugi::xml_node run =
          makeRun(paragraph, paragraph.last_child(), formattingSource(paragraph, paragraph.last_child()));
      appendPiece(run, piece);
      if (runs != nullptr && piece.kind == Piece::Text) runs->push_back(run);
    }
    return at;
  }
  return insertInParagraph(l.node, l.segment, at.column, utf8, runs);
}

namespace {

// Splits runs so that each holds one piece of content (text, tab, break), each with its own
// copy of the run properties. Rendering is unchanged; positions become run boundaries.
void normalizeRuns(pugi::xml_node paragraph) {
  for (pugi::xml_node r = paragraph.child("w:r"); r; r = r.next_sibling("w:r")) {
    std::vector<pugi::xml_node> content;
    for (pugi::xml_node c : r.children()) {
      if (!is(c, "w:rPr")) content.push_back(c);
    }
    if (content.size() <= 1) continue;
    pugi::xml_node previous = r;
    for (std::size_t i = 1; i < content.size(); ++i) {
      pugi::xml_node run = paragraph.insert_child_after("w:r", previous);
      if (pugi::xml_node rPr = r.child("w:rPr")) run.append_copy(rPr);
      run.append_move(content[i]);
      previous = run;
    }
  }
}

bool isBreak(pugi::xml_node run) { return run.child("w:br") || run.child("w:cr"); }

int runLength(pugi::xml_node run) {
  if (pugi::xml_node t = run.child("w:t")) return static_cast<int>(codePoints(t.text().get()));
  return run.child("w:tab") ? 1 : 0;
}

}  // namespace

DocxDocument::Position DocxDocument::insertInParagraph(pugi::xml_node paragraph, int segment, int column,
                                                       std::string_view utf8,
                                                       std::vector<pugi::xml_node>* runs) {
  normalizeRuns(paragraph);
  // The run after which the text goes (none: the start of the paragraph). A position inside a
  // text run splits it.
  pugi::xml_node after;
  pugi::xml_node lastOfSegment;
  bool found = segment == 0 && column <= 0;
  int seg = 0, col = 0;
  for (pugi::xml_node r = paragraph.child("w:r"); r && !found; r = r.next_sibling("w:r")) {
    if (isBreak(r)) {
      ++seg;
      col = 0;
      if (seg == segment) lastOfSegment = r;
      if (seg == segment && column <= 0) {
        after = r;
        found = true;
      }
      continue;
    }
    if (seg != segment) continue;
    const int length = runLength(r);
    if (column > col && column < col + length) {
      const std::string text = r.child("w:t").text().get();
      const std::size_t cut = byteOffset(text, static_cast<std::size_t>(column - col));
      pugi::xml_node rest = paragraph.insert_copy_after(r, r);
      r.child("w:t").text().set(text.substr(0, cut).c_str());
      rest.child("w:t").text().set(text.substr(cut).c_str());
      after = r;
      found = true;
    }
    col += length;
    lastOfSegment = r;
    if (!found && column == col) {
      after = r;
      found = true;
    }
  }
  // Past the end of its line: at the end of the line.
  if (!found) after = lastOfSegment;

  pugi::xml_node format = formattingSource(paragraph, after);
  pugi::xml_node current = paragraph;
  for (const Piece& piece : pieces(utf8)) {
    if (piece.kind == Piece::Paragraph) {
      // A new paragraph after this one takes everything after the insertion point.
      pugi::xml_node next = current.parent().insert_child_after("w:p", current);
      if (pugi::xml_node pPr = current.child("w:pPr")) next.append_copy(pPr);
      pugi::xml_node move = after                    ? after.next_sibling()
                            : current.child("w:pPr") ? current.child("w:pPr").next_sibling()
                                                     : current.first_child();
      while (move) {
        pugi::xml_node following = move.next_sibling();
        next.append_move(move);
        move = following;
      }
      current = next;
      after = pugi::xml_node();
      continue;
    }
    pugi::xml_node run = makeRun(current, after, format);
    appendPiece(run, piece);
    if (runs != nullptr && piece.kind == Piece::Text) runs->push_back(run);
    after = run;
  }
  invalidate();
  // The position after the text: its line, and the characters before it on that line.
  int endSegment = 0, endColumn = 0;
  if (after) {
    for (pugi::xml_node r = current.child("w:r"); r; r = r.next_sibling("w:r")) {
      if (isBreak(r)) {
        ++endSegment;
        endColumn = 0;
      } else {
        endColumn += runLength(r);
      }
      if (r == after) break;
    }
  }
  return {lineOf(current, endSegment), endColumn};
}

void DocxDocument::applyFont(const std::vector<pugi::xml_node>& runs, const WordFontChange& change) {
  for (pugi::xml_node run : runs) {
    pugi::xml_node rPr = runProperties(run);
    if (change.name) {
      pugi::xml_node fonts = runProperty(rPr, "w:rFonts");
      for (const char* a : {"w:ascii", "w:hAnsi", "w:eastAsia"}) setAttribute(fonts, a, *change.name);
    }
    if (change.bold) {
      setAttribute(runProperty(rPr, "w:b"), "w:val", *change.bold ? "1" : "0");
      setAttribute(runProperty(rPr, "w:bCs"), "w:val", *change.bold ? "1" : "0");
    }
    if (change.size) {
      const std::string halfPoints = std::to_string(static_cast<int>(*change.size * 2.0f + 0.5f));
      setAttribute(runProperty(rPr, "w:sz"), "w:val", halfPoints);
      setAttribute(runProperty(rPr, "w:szCs"), "w:val", halfPoints);
    }
    if (change.underline)
      setAttribute(runProperty(rPr, "w:u"), "w:val", *change.underline ? "single" : "none");
    if (change.underlineColor) {
      pugi::xml_node u = runProperty(rPr, "w:u");
      if (!u.attribute("w:val")) setAttribute(u, "w:val", "none");
      // The automatic colour is the underline's default; written out as "auto" some readers
      // draw no line at all.
      if (*change.underlineColor == kAutomaticColor) {
        u.remove_attribute("w:color");
      } else {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%06X", *change.underlineColor & 0xFFFFFF);
        setAttribute(u, "w:color", hex);
      }
    }
  }
}

Status DocxDocument::mergeCells(int line, int first, int last) {
  if (!isRowLine(line)) return Error{"选定的区域不在表格中，无法合并单元格。"};
  std::vector<pugi::xml_node> cells;
  for (pugi::xml_node c : lines_[static_cast<std::size_t>(line)].node.children("w:tc")) cells.push_back(c);
  first = std::clamp(first, 0, static_cast<int>(cells.size()) - 1);
  last = std::clamp(last, first, static_cast<int>(cells.size()) - 1);
  if (first == last) return Status::success();
  pugi::xml_node target = cells[static_cast<std::size_t>(first)];
  int span = 0;
  long width = 0;
  for (int i = first; i <= last; ++i) {
    pugi::xml_node tcPr = cells[static_cast<std::size_t>(i)].child("w:tcPr");
    span += std::max(1, tcPr.child("w:gridSpan").attribute("w:val").as_int(1));
    width += tcPr.child("w:tcW").attribute("w:w").as_int(0);
  }
  for (int i = first + 1; i <= last; ++i) {
    // Keep what the merged cells held.
    for (pugi::xml_node p : cells[static_cast<std::size_t>(i)].children("w:p")) {
      if (p.child("w:r")) target.append_copy(p);
    }
    target.parent().remove_child(cells[static_cast<std::size_t>(i)]);
  }
  pugi::xml_node tcPr = target.child("w:tcPr") ? target.child("w:tcPr") : target.prepend_child("w:tcPr");
  if (pugi::xml_node w = tcPr.child("w:tcW")) setAttribute(w, "w:w", std::to_string(width));
  pugi::xml_node gridSpan = tcPr.child("w:gridSpan");
  if (!gridSpan)
    gridSpan = tcPr.child("w:tcW") ? tcPr.insert_child_after("w:gridSpan", tcPr.child("w:tcW"))
                                   : tcPr.prepend_child("w:gridSpan");
  setAttribute(gridSpan, "w:val", std::to_string(span));
  return Status::success();
}

int DocxDocument::tableCount() {
  indexTables();
  return static_cast<int>(tables_.size());
}

int DocxDocument::rowCount(int table) {
  indexTables();
  if (table < 1 || table > tableCount()) return 0;
  return static_cast<int>(tables_[static_cast<std::size_t>(table - 1)].size());
}

int DocxDocument::cellCount(int table, int row) {
  if (row < 1 || row > rowCount(table)) return 0;
  pugi::xml_node tr = tables_[static_cast<std::size_t>(table - 1)][static_cast<std::size_t>(row - 1)];
  return static_cast<int>(std::distance(tr.children("w:tc").begin(), tr.children("w:tc").end()));
}

std::string DocxDocument::cellText(int table, int row, int column) {
  if (column < 1 || column > cellCount(table, row)) return {};
  pugi::xml_node tr = tables_[static_cast<std::size_t>(table - 1)][static_cast<std::size_t>(row - 1)];
  pugi::xml_node cell = tr.child("w:tc");
  for (int i = 1; i < column; ++i) cell = cell.next_sibling("w:tc");
  std::string out;
  bool first = true;
  for (pugi::xml_node p : cell.children("w:p")) {
    if (!first) out += '\n';
    first = false;
    for (pugi::xml_node r : p.children("w:r")) {
      for (pugi::xml_node c : r.children()) {
        if (is(c, "w:t")) out += c.text().get();
        if (is(c, "w:tab")) out += '\t';
        if (is(c, "w:br")) out += '\n';
      }
    }
  }
  return out;
}

Status DocxDocument::setCellText(int table, int row, int column, std::string_view utf8) {
  indexTables();
  if (table < 1 || table > tableCount()) {
    return Error{"报告模板中没有第 " + std::to_string(table) + " 个表格。"};
  }
  std::vector<pugi::xml_node>& rows = tables_[static_cast<std::size_t>(table - 1)];
  if (row < 1 || rows.empty())
    return Error{"表格 " + std::to_string(table) + " 中没有第 " + std::to_string(row) + " 行。"};
  while (static_cast<int>(rows.size()) < row) {
    // A row beyond the table: a copy of its last row, emptied.
    pugi::xml_node copy = rows.back().parent().insert_copy_after(rows.back(), rows.back());
    for (pugi::xml_node cell : copy.children("w:tc")) {
      bool keep = true;
      for (pugi::xml_node p = cell.child("w:p"); p;) {
        pugi::xml_node next = p.next_sibling("w:p");
        if (!keep) {
          cell.remove_child(p);
        } else {
          for (pugi::xml_node r = p.child("w:r"); r;) {
            pugi::xml_node nr = r.next_sibling("w:r");
            p.remove_child(r);
            r = nr;
          }
        }
        keep = false;
        p = next;
      }
    }
    rows.push_back(copy);
    linesValid_ = false;
  }
  pugi::xml_node tr = rows[static_cast<std::size_t>(row - 1)];
  pugi::xml_node cell = tr.child("w:tc");
  for (int i = 1; cell && i < column; ++i) cell = cell.next_sibling("w:tc");
  if (column < 1 || !cell) {
    return Error{"表格 " + std::to_string(table) + " 的第 " + std::to_string(row) + " 行没有第 " +
                 std::to_string(column) + " 列。"};
  }
  // Keep the first paragraph's properties and the first run's formatting.
  pugi::xml_node firstParagraph = cell.child("w:p");
  pugi::xml_document keep;
  pugi::xml_node pPr =
      firstParagraph.child("w:pPr") ? keep.append_copy(firstParagraph.child("w:pPr")) : pugi::xml_node();
  pugi::xml_node rPr = firstParagraph.child("w:r").child("w:rPr")
                           ? keep.append_copy(firstParagraph.child("w:r").child("w:rPr"))
                           : firstParagraph.child("w:pPr").child("w:rPr");
  if (rPr && rPr.root() != keep.root()) rPr = keep.append_copy(rPr);
  for (pugi::xml_node p = cell.child("w:p"); p;) {
    pugi::xml_node next = p.next_sibling("w:p");
    cell.remove_child(p);
    p = next;
  }
  pugi::xml_node paragraph = cell.append_child("w:p");
  if (pPr) paragraph.append_copy(pPr);
  for (const Piece& piece : pieces(utf8)) {
    if (piece.kind == Piece::Paragraph) {
      paragraph = cell.append_child("w:p");
      if (pPr) paragraph.append_copy(pPr);
      continue;
    }
    pugi::xml_node run = paragraph.append_child("w:r");
    if (rPr) run.append_copy(rPr);
    appendPiece(run, piece);
  }
  return Status::success();
}

pugi::xml_node DocxDocument::existingCell(int table, int row, int column) {
  indexTables();
  if (table < 1 || table > tableCount()) return {};
  const std::vector<pugi::xml_node>& rows = tables_[static_cast<std::size_t>(table - 1)];
  if (row < 1 || row > static_cast<int>(rows.size()) || column < 1) return {};
  pugi::xml_node cell = rows[static_cast<std::size_t>(row - 1)].child("w:tc");
  for (int i = 1; cell && i < column; ++i) cell = cell.next_sibling("w:tc");
  return cell;
}

Status DocxDocument::setCellTextColor(int table, int row, int column, std::uint32_t rgb) {
  pugi::xml_node cell = existingCell(table, row, column);
  if (!cell) {
    return Error{"表格 " + std::to_string(table) + " 中没有第 " + std::to_string(row) + " 行第 " +
                 std::to_string(column) + " 列。"};
  }
  char hex[8];
  std::snprintf(hex, sizeof hex, "%06X", rgb & 0xFFFFFFu);
  for (pugi::xml_node p : cell.children("w:p")) {
    for (pugi::xml_node r : p.children("w:r")) {
      pugi::xml_node color = runProperty(runProperties(r), "w:color");
      if (!color.attribute("w:val")) color.append_attribute("w:val");
      color.attribute("w:val").set_value(hex);
    }
  }
  return Status::success();
}

namespace {

// Child elements of row and paragraph properties in the order the schema requires them.
constexpr const char* kRowOrder[] = {"w:cnfStyle",  "w:divId",          "w:gridBefore", "w:gridAfter",
                                     "w:wBefore",   "w:wAfter",         "w:cantSplit",  "w:trHeight",
                                     "w:tblHeader", "w:tblCellSpacing", "w:jc",         "w:hidden"};
constexpr const char* kParagraphOrder[] = {"w:pStyle", "w:keepNext"};

// Adds an empty child element in its schema place, unless the parent has it already.
template <std::size_t N>
void insertInOrder(pugi::xml_node parent, const char* name, const char* const (&order)[N]) {
  if (parent.child(name)) return;
  auto rank = [&](const char* n) {
    std::size_t i = 0;
    while (i < N && std::strcmp(order[i], n) != 0) ++i;
    return i;
  };
  const std::size_t own = rank(name);
  for (pugi::xml_node child : parent.children()) {
    if (rank(child.name()) > own) {
      parent.insert_child_before(name, child);
      return;
    }
  }
  parent.append_child(name);
}

pugi::xml_node rowProperties(pugi::xml_node tr) {
  if (pugi::xml_node trPr = tr.child("w:trPr")) return trPr;
  if (pugi::xml_node exceptions = tr.child("w:tblPrEx")) return tr.insert_child_after("w:trPr", exceptions);
  return tr.prepend_child("w:trPr");
}

// Every paragraph of a row stays on the page of the next row, or no longer does.
void keepRowWithNext(pugi::xml_node tr, bool keep) {
  for (pugi::xml_node tc : tr.children("w:tc")) {
    for (pugi::xml_node p : tc.children("w:p")) {
      if (keep) {
        pugi::xml_node pPr = p.child("w:pPr") ? p.child("w:pPr") : p.prepend_child("w:pPr");
        insertInOrder(pPr, "w:keepNext", kParagraphOrder);
      } else if (pugi::xml_node pPr = p.child("w:pPr")) {
        pPr.remove_child("w:keepNext");
      }
    }
  }
}

// An empty paragraph one point high after a node: it keeps two tables apart, which would
// otherwise merge.
pugi::xml_node insertTableSeparator(pugi::xml_node after) {
  pugi::xml_node p = after.parent().insert_child_after("w:p", after);
  pugi::xml_node pPr = p.append_child("w:pPr");
  pugi::xml_node spacing = pPr.append_child("w:spacing");
  setAttribute(spacing, "w:before", "0");
  setAttribute(spacing, "w:after", "0");
  setAttribute(spacing, "w:line", "20");
  setAttribute(spacing, "w:lineRule", "exact");
  setAttribute(pPr.append_child("w:rPr").append_child("w:sz"), "w:val", "2");
  return p;
}

// A table after a node, with the properties and grid of another and the given rows moved into it.
pugi::xml_node moveRowsToNewTable(pugi::xml_node from, const std::vector<pugi::xml_node>& rows,
                                  pugi::xml_node after) {
  pugi::xml_node tbl = after.parent().insert_child_after("w:tbl", after);
  if (pugi::xml_node tblPr = from.child("w:tblPr")) tbl.append_copy(tblPr);
  if (pugi::xml_node grid = from.child("w:tblGrid")) tbl.append_copy(grid);
  for (pugi::xml_node tr : rows) tbl.append_move(tr);
  return tbl;
}

}  // namespace

Status DocxDocument::keepRows(int table, int first, int last, bool withNext) {
  indexTables();
  if (table < 1 || table > tableCount())
    return Error{"报告模板中没有第 " + std::to_string(table) + " 个表格。"};
  const std::vector<pugi::xml_node>& rows = tables_[static_cast<std::size_t>(table - 1)];
  last = std::min(last, static_cast<int>(rows.size()));
  first = std::clamp(first, 1, std::max(last, 1));
  for (int r = first; r <= last; ++r) {
    pugi::xml_node tr = rows[static_cast<std::size_t>(r - 1)];
    insertInOrder(rowProperties(tr), "w:cantSplit", kRowOrder);
    if (r < last || withNext) keepRowWithNext(tr, true);
  }
  return Status::success();
}

bool DocxDocument::mayBeLongerThanAPage(int rows) {
  // A generous bound on a one-line row's height, 20 pt: a block within it fits on a page.
  constexpr long kRowHeightBound = 400;
  pugi::xml_node sect = body_.child("w:document").child("w:body").child("w:sectPr");
  const long textHeight = sect.child("w:pgSz").attribute("w:h").as_int(16838) -
                          sect.child("w:pgMar").attribute("w:top").as_int(1440) -
                          sect.child("w:pgMar").attribute("w:bottom").as_int(1440);
  return static_cast<long>(rows) * kRowHeightBound > textHeight;
}

Status DocxDocument::repeatBlockHeading(int table, int first, int last) {
  indexTables();
  if (table < 1 || table > tableCount())
    return Error{"报告模板中没有第 " + std::to_string(table) + " 个表格。"};
  const std::vector<pugi::xml_node> rows = tables_[static_cast<std::size_t>(table - 1)];
  const int count = static_cast<int>(rows.size());
  if (first < 1 || first > count || last < first) return Status::success();
  last = std::min(last, count);
  if (!mayBeLongerThanAPage(last - first + 1)) return Status::success();

  pugi::xml_node tbl = rows.front().parent();
  pugi::xml_node block = tbl;
  pugi::xml_node place = tbl;
  if (first > 1) {
    // The rows before stay; the block and the rows after it move into tables of their own.
    place = insertTableSeparator(place);
    block = place = moveRowsToNewTable(tbl, {rows.begin() + (first - 1), rows.begin() + last}, place);
  }
  if (last < count) {
    place = insertTableSeparator(place);
    moveRowsToNewTable(tbl, {rows.begin() + last, rows.end()}, place);
  }
  // The heading repeats at the top of every page the block spans and stays with its first row;
  // the other rows may break across pages, which they must.
  pugi::xml_node heading = block.child("w:tr");
  insertInOrder(rowProperties(heading), "w:tblHeader", kRowOrder);
  keepRowWithNext(heading, true);
  for (pugi::xml_node tr = heading.next_sibling("w:tr"); tr; tr = tr.next_sibling("w:tr"))
    keepRowWithNext(tr, false);
  invalidate();
  return Status::success();
}

DocxDocument::Position DocxDocument::addTable(Position at, int rows, int columns) {
  indexLines();
  if (rows <= 0 || columns <= 0 || lines_.empty()) return at;
  at.line = std::clamp(at.line, 0, lineCount() - 1);
  const Line l = lines_[static_cast<std::size_t>(at.line)];
  pugi::xml_node anchor = is(l.node, "w:tr") ? l.node.parent() : l.node;
  const bool emptyParagraph = is(anchor, "w:p") && lineLength(at.line) == 0 && !anchor.child("w:r");
  pugi::xml_node body = anchor.parent();
  pugi::xml_node tbl =
      emptyParagraph ? body.insert_child_before("w:tbl", anchor) : body.insert_child_after("w:tbl", anchor);
  // Width: the text area of the section, else A4 with 3.17 cm margins.
  pugi::xml_node sect = body.child("w:sectPr");
  long textWidth = sect.child("w:pgSz").attribute("w:w").as_int(11906) -
                   sect.child("w:pgMar").attribute("w:left").as_int(1800) -
                   sect.child("w:pgMar").attribute("w:right").as_int(1800);
  const long cellWidth = std::max<long>(200, textWidth / columns);
  pugi::xml_node tblPr = tbl.append_child("w:tblPr");
  setAttribute(tblPr.append_child("w:tblW"), "w:w", std::to_string(cellWidth * columns));
  setAttribute(tblPr.child("w:tblW"), "w:type", "dxa");
  pugi::xml_node borders = tblPr.append_child("w:tblBorders");
  for (const char* side : {"w:top", "w:left", "w:bottom", "w:right", "w:insideH", "w:insideV"}) {
    pugi::xml_node b = borders.append_child(side);
    setAttribute(b, "w:val", "single");
    setAttribute(b, "w:sz", "4");
    setAttribute(b, "w:space", "0");
    setAttribute(b, "w:color", "auto");
  }
  setAttribute(tblPr.append_child("w:tblLayout"), "w:type", "fixed");
  pugi::xml_node grid = tbl.append_child("w:tblGrid");
  for (int c = 0; c < columns; ++c)
    setAttribute(grid.append_child("w:gridCol"), "w:w", std::to_string(cellWidth));
  for (int r = 0; r < rows; ++r) {
    pugi::xml_node tr = tbl.append_child("w:tr");
    for (int c = 0; c < columns; ++c) {
      pugi::xml_node tc = tr.append_child("w:tc");
      pugi::xml_node w = tc.append_child("w:tcPr").append_child("w:tcW");
      setAttribute(w, "w:w", std::to_string(cellWidth));
      setAttribute(w, "w:type", "dxa");
      setAttribute(tc.append_child("w:p").append_child("w:pPr").append_child("w:jc"), "w:val", "center");
    }
  }
  invalidate();
  return {lineOf(tbl.child("w:tr"), 0), 0};
}

}  // namespace kro
