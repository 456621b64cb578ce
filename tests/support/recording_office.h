// A spreadsheet session that records every call as a line of text, for checking the cells and
// blocks of a workbook.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "export/excel_session.h"
#include "model/file_io.h"

namespace kro::test {

class RecordingExcelSession : public ExcelSession {
 public:
  Status addWorkbook() override { return step("AddWorkbook"); }
  void setVisible(bool v) override { log("Visible " + std::to_string(v)); }
  Status renameSheet(std::string_view from, std::string_view to) override {
    return step("Rename " + std::string(from) + " " + std::string(to));
  }
  Status useSheet(std::string_view name) override { return step("Use " + std::string(name)); }
  Status addSheet(std::string_view name) override { return step("Add " + std::string(name)); }
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
