// Word and spreadsheet sessions that record every call as a line of text, for checking the
// order of the calls a report or export makes.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "export/excel_session.h"
#include "model/file_io.h"
#include "report/word_session.h"

namespace kro::test {

class RecordingWordSession : public WordSession {
 public:
  void setVisible(bool visible) override { log("Visible " + std::to_string(visible)); }
  Status addDocument(const std::filesystem::path& p) override {
    return step("Add " + displayPath(p.filename()));
  }
  Status openDocument(const std::filesystem::path& p) override {
    return step("Open " + displayPath(p.filename()));
  }
  Status saveAs(const std::filesystem::path& p) override {
    return step("SaveAs " + displayPath(p.filename()));
  }
  void moveDown(int n) override { log("MoveDown " + std::to_string(n)); }
  void moveRight(int n, bool extend) override {
    log("MoveRight " + std::to_string(n) + (extend ? " extend" : ""));
  }
  void homeKey() override { log("HomeKey"); }
  void typeText(std::string_view t) override { log("Type " + std::string(t)); }
  void typeParagraph() override { log("Paragraph"); }
  void replaceSelection(std::string_view t) override { log("Replace " + std::string(t)); }
  void applyFont(const WordFontChange& f) override {
    std::ostringstream s;
    s << "Font";
    if (f.name) s << " name=" << *f.name;
    if (f.bold) s << " bold=" << *f.bold;
    if (f.size) s << " size=" << *f.size;
    if (f.underlineColor) s << " underlineColor=" << std::hex << *f.underlineColor << std::dec;
    if (f.underline) s << " underline=" << *f.underline;
    log(s.str());
  }
  Status mergeSelectedCells() override { return step("Merge"); }
  Status setCellText(int t, int r, int c, std::string_view text) override {
    return step("Cell " + std::to_string(t) + " " + std::to_string(r) + " " + std::to_string(c) + " " +
                std::string(text));
  }
  Status addTable(int rows, int columns) override {
    return step("AddTable " + std::to_string(rows) + " " + std::to_string(columns));
  }
  Status setCellTextColor(int t, int r, int c, std::uint32_t rgb) override {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%06X", rgb & 0xFFFFFFu);
    return step("Color " + std::to_string(t) + " " + std::to_string(r) + " " + std::to_string(c) + " " + hex);
  }
  Status keepRowsTogether(int t, int first, int last) override {
    return step("Keep " + std::to_string(t) + " " + std::to_string(first) + " " + std::to_string(last));
  }
  Status repeatBlockHeading(int t, int first, int last) override {
    return step("RepeatHeading " + std::to_string(t) + " " + std::to_string(first) + " " +
                std::to_string(last));
  }
  Status keepTableWithNext(int t) override { return step("KeepWithNext " + std::to_string(t)); }
  void discardDocument() override { static_cast<void>(step("Discard")); }
  Status finish(std::size_t& written) override {
    written = finishWritten;
    return step("Finish");
  }
  std::size_t finishWritten = 2;  // what a failing finish reports as written before it

  // The n-th failing call (counting calls that can fail) returns an error.
  int failAt = -1;
  std::vector<std::string> calls;

  // The calls that start with a prefix, up to the data table that ends every report.
  std::vector<std::string> with(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : calls) {
      if (c == "Add 表格.docx") break;
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    }
    return out;
  }

 private:
  void log(const std::string& line) { calls.push_back(line); }
  Status step(const std::string& line) {
    log(line);
    if (failAt >= 0 && fallible_++ == failAt) return Error{"failed: " + line};
    return Status::success();
  }
  int fallible_ = 0;
};

class RecordingExcelSession : public ExcelSession {
 public:
  Status addWorkbook() override { return step("AddWorkbook"); }
  void setVisible(bool v) override { log("Visible " + std::to_string(v)); }
  Status renameSheet(std::string_view from, std::string_view to) override {
    return step("Rename " + std::string(from) + " " + std::string(to));
  }
  Status useSheet(std::string_view name) override { return step("Use " + std::string(name)); }
  void setCellText(int r, int c, std::string_view t) override {
    log("Cell " + std::to_string(r) + " " + std::to_string(c) + " " + std::string(t));
  }
  void mergeCells(int r, int c, int rows, int columns) override {
    log("Merge " + std::to_string(r) + " " + std::to_string(c) + " " + std::to_string(rows) + "x" +
        std::to_string(columns));
  }
  void setColumnsAlignment(int h, int v) override {
    log("Align " + std::to_string(h) + " " + std::to_string(v));
  }
  Status saveAs(const std::filesystem::path& p) override {
    return step("SaveAs " + displayPath(p.filename()));
  }

  std::vector<std::string> calls;
  std::vector<std::string> with(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : calls) {
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    }
    return out;
  }

 private:
  void log(const std::string& line) { calls.push_back(line); }
  Status step(const std::string& line) {
    log(line);
    return Status::success();
  }
};

}  // namespace kro::test
