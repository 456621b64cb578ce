// The workbook model and its writing through libxlsxwriter.
#include "office/xlsx_excel_session.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include "model/file_io.h"
#include "office/package.h"
#include "platform/console.h"

namespace kro {
namespace {

// The number a cell text stands for when it is exactly the decimal form of an integer: no
// leading zero, no plus sign, at most 15 digits (exact in a double).
std::optional<double> integerCell(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 15 || (digits.size() > 1 && digits.front() == '0'))
    return std::nullopt;
  if (digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  if (text == "-0") return std::nullopt;
  return std::strtod(std::string(text).c_str(), nullptr);
}

}  // namespace
namespace {

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<std::uint8_t> horizontal(int value) {
  switch (value) {
    case 2:
    case -4131:
      return LXW_ALIGN_LEFT;
    case 3:
    case -4108:
      return LXW_ALIGN_CENTER;
    case 4:
    case -4152:
      return LXW_ALIGN_RIGHT;
    case 5:
      return LXW_ALIGN_FILL;
    case 6:
    case -4130:
      return LXW_ALIGN_JUSTIFY;
    case 7:
      return LXW_ALIGN_CENTER_ACROSS;
    default:
      return std::nullopt;
  }
}

std::optional<std::uint8_t> vertical(int value) {
  switch (value) {
    case 1:
    case -4160:
      return LXW_ALIGN_VERTICAL_TOP;
    case 2:
    case -4108:
      return LXW_ALIGN_VERTICAL_CENTER;
    case 3:
    case -4107:
      return LXW_ALIGN_VERTICAL_BOTTOM;
    case 4:
    case -4130:
      return LXW_ALIGN_VERTICAL_JUSTIFY;
    case 5:
    case -4117:
      return LXW_ALIGN_VERTICAL_DISTRIBUTED;
    default:
      return std::nullopt;
  }
}

}  // namespace

Status XlsxExcelSession::addWorkbook() {
  sheets_ = {Sheet{"Sheet1", {}, {}, {}, {}}};
  current_ = 0;
  return Status::success();
}

XlsxExcelSession::Sheet* XlsxExcelSession::find(std::string_view name) {
  for (Sheet& s : sheets_) {
    if (sameName(s.name, name)) return &s;
  }
  return nullptr;
}

Status XlsxExcelSession::renameSheet(std::string_view from, std::string_view to) {
  Sheet* sheet = find(from);
  if (sheet == nullptr) return Error{"工作簿中没有工作表“" + std::string(from) + "”。"};
  sheet->name = std::string(to);
  current_ = static_cast<int>(sheet - sheets_.data());
  return Status::success();
}

Status XlsxExcelSession::addSheet(std::string_view name) {
  if (find(name) != nullptr) return Error{"工作簿中已有工作表“" + std::string(name) + "”。"};
  sheets_.push_back(Sheet{std::string(name), {}, {}, {}, {}});
  current_ = static_cast<int>(sheets_.size()) - 1;
  return Status::success();
}

Status XlsxExcelSession::useSheet(std::string_view name) {
  Sheet* sheet = find(name);
  if (sheet == nullptr) return Error{"工作簿中没有工作表“" + std::string(name) + "”。"};
  current_ = static_cast<int>(sheet - sheets_.data());
  return Status::success();
}

void XlsxExcelSession::setCellText(int row, int column, std::string_view utf8) {
  if (current_ < 0 || row < 1 || column < 1) return;
  // The library writes control characters as escapes a reader shows literally ("_x0001_") and
  // passes U+FFFE through, which makes the workbook unreadable: texts are cleaned as in reports.
  sheets_[static_cast<std::size_t>(current_)].cells[{row, column}] = xmlSafeText(utf8);
}

void XlsxExcelSession::mergeCells(int row, int column, int rows, int columns) {
  if (current_ < 0 || row < 1 || column < 1 || rows < 1 || columns < 1) return;
  Sheet& sheet = sheets_[static_cast<std::size_t>(current_)];
  const Merge m{row, column, rows, columns};
  if (sheet.mergesMade.insert(m).second) sheet.merges.push_back(m);
}

void XlsxExcelSession::setColumnsAlignment(int h, int v) {
  if (current_ >= 0) sheets_[static_cast<std::size_t>(current_)].alignment = std::make_pair(h, v);
}

Status XlsxExcelSession::saveAs(const std::filesystem::path& path) {
  auto created = createTemporaryBeside(path);
  if (!created) return created.error();
  const std::filesystem::path temp = created.value();
  // The library prints its own English lines on the error stream; our message says it all.
  const platform::SilencedErrorStream silenced;
  lxw_workbook* workbook = workbook_new(displayPath(temp).c_str());
  if (workbook == nullptr) {
    removeQuietly(temp);
    return Error{"无法写入“" + displayPath(path) + "”：内存不足。"};
  }
  // Every library call is checked: a cell or merge that fails makes the export fail.
  lxw_error failed = LXW_NO_ERROR;
  auto check = [&failed](lxw_error e) {
    if (failed == LXW_NO_ERROR) failed = e;
  };
  for (const Sheet& sheet : sheets_) {
    lxw_worksheet* ws = workbook_add_worksheet(workbook, sheet.name.c_str());
    if (ws == nullptr) {
      failed = LXW_ERROR_PARAMETER_VALIDATION;
      break;
    }
    // A4, as wide as one page, so that no column is cut off when printed.
    worksheet_set_paper(ws, 9);
    worksheet_fit_to_pages(ws, 1, 0);
    lxw_format* format = workbook_add_format(workbook);
    if (sheet.alignment) {
      if (auto h = horizontal(sheet.alignment->first)) format_set_align(format, *h);
      if (auto v = vertical(sheet.alignment->second)) format_set_align(format, *v);
      check(worksheet_set_column(ws, 0, LXW_COL_MAX - 1, LXW_DEF_COL_WIDTH, format));
    }
    // A merged range carries the text of its first cell; that cell is not written again.
    std::set<std::pair<int, int>> mergedFirst;
    for (const Merge& m : sheet.merges) {
      auto it = sheet.cells.find({m.row, m.column});
      const std::string text = it != sheet.cells.end() ? it->second : std::string();
      mergedFirst.insert({m.row, m.column});
      check(worksheet_merge_range(ws, static_cast<lxw_row_t>(m.row - 1), static_cast<lxw_col_t>(m.column - 1),
                                  static_cast<lxw_row_t>(m.row + m.rows - 2),
                                  static_cast<lxw_col_t>(m.column + m.columns - 2), text.c_str(), format));
    }
    for (const auto& [at, text] : sheet.cells) {
      if (mergedFirst.contains(at)) continue;
      const auto row = static_cast<lxw_row_t>(at.first - 1);
      const auto column = static_cast<lxw_col_t>(at.second - 1);
      // A reading is an integer: stored as a number, so sums, averages and charts work. Texts
      // that only look like numbers (a code such as 0001, "+5") stay text.
      if (std::optional<double> number = integerCell(text)) {
        check(worksheet_write_number(ws, row, column, *number, format));
      } else {
        check(worksheet_write_string(ws, row, column, text.c_str(), format));
      }
    }
  }
  if (failed != LXW_NO_ERROR) {
    workbook_close(workbook);  // frees the workbook; the file is dropped
    removeQuietly(temp);
    return Error{"无法写入“" + displayPath(path) + "”：有单元格或合并区域无法写入工作簿（错误号 " +
                 std::to_string(failed) + "）。"};
  }
  errno = 0;
  const lxw_error closed = workbook_close(workbook);
  if (closed != LXW_NO_ERROR) {
    const int error = errno;
    removeQuietly(temp);
    if (closed == LXW_ERROR_CREATING_XLSX_FILE || closed == LXW_ERROR_ZIP_FILE_OPERATION ||
        closed == LXW_ERROR_ZIP_CLOSE) {
      return Error{fileErrorMessage("无法写入", path, error != 0 ? error : EIO)};
    }
    if (closed == LXW_ERROR_CREATING_TMPFILE || closed == LXW_ERROR_READING_TMPFILE) {
      return Error{"无法写入“" + displayPath(path) + "”：不能在系统临时文件夹中创建工作文件。"};
    }
    return Error{"无法写入“" + displayPath(path) + "”：生成工作簿时出错（错误号 " + std::to_string(closed) +
                 "）。"};
  }
  // The library escapes what XML cannot hold; reading the parts back makes sure of it before
  // the workbook replaces anything.
  if (Status parsed = checkWrittenPackage(temp, path); !parsed) {
    removeQuietly(temp);
    return parsed;
  }
  return replaceWithTemporary(temp, path);
}

}  // namespace kro
