// Reading and writing the line-oriented settings files.
#include "settings/settings_file.h"

#include <cctype>
#include <climits>

#include "model/file_io.h"
#include "model/gbk_text.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

std::string_view trimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Line breaks inside a value would split its line; they are stored as blanks.
std::string withoutLineBreaks(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

}  // namespace

int atoiValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

SettingsFile::SettingsFile(const SettingsLocation& location, std::string_view name) : location_(location) {
  setName(name);
}

void SettingsFile::setDirectory(fs::path directory) {
  directory_ = std::move(directory);
  location_.reset();
}

void SettingsFile::setName(std::string_view name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  fileName_ = (lower == "reportini" ? lower : std::string(name)) + ".ini";
}

fs::path SettingsFile::readPath() const {
  return location_ ? location_->pathForRead(fileName_) : directory_ / pathFromUtf8(fileName_);
}

fs::path SettingsFile::writePath() const {
  return location_ ? location_->pathForWrite(fileName_) : directory_ / pathFromUtf8(fileName_);
}

std::vector<std::string> SettingsFile::splitLines(std::string_view bytes) {
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

Status SettingsFile::openForRead() {
  discard();
  auto bytes = readWholeFile(readPath(), kMaxSettingsFileSize);
  if (!bytes) return bytes.error();
  openForRead(bytes.value());
  return Status::success();
}

void SettingsFile::openForRead(std::string_view bytes) {
  discard();
  lines_ = splitLines(bytes);
  mode_ = Mode::Reading;
}

Status SettingsFile::openForWrite() {
  discard();
  const fs::path path = writePath();
  std::error_code ec;
  if (!path.parent_path().empty()) fs::create_directories(path.parent_path(), ec);
  if (Status opened = out_.open(path); !opened) return opened;
  lines_.clear();
  writeFailure_.reset();
  mode_ = Mode::Writing;
  return Status::success();
}

Status SettingsFile::close() {
  const Mode mode = mode_;
  mode_ = Mode::Closed;
  if (mode != Mode::Writing) return Status::success();
  if (writeFailure_) {
    out_.discard();
    return Error{*std::exchange(writeFailure_, std::nullopt)};
  }
  return out_.commit();
}

void SettingsFile::discard() {
  if (mode_ == Mode::Writing) out_.discard();
  mode_ = Mode::Closed;
}

bool SettingsFile::writeLine(std::string_view key, std::string_view value) {
  if (mode_ != Mode::Writing) return false;
  std::string bad;
  auto gbkKey = utf8ToGbk(withoutLineBreaks(key), &bad);
  auto gbkValue = gbkKey ? utf8ToGbk(withoutLineBreaks(value), &bad) : std::nullopt;
  if (!gbkKey || !gbkValue) {
    if (!writeFailure_) writeFailure_ = "字符“" + bad + "”无法以 GBK 编码保存。";
    return false;
  }
  std::string line = *gbkKey + "=" + *gbkValue;
  out_.write(line + "\r\n");
  lines_.push_back(std::move(line));
  return true;
}

bool SettingsFile::writeSection(std::string_view name) {
  if (mode_ != Mode::Writing) return false;
  std::string bad;
  auto gbk = utf8ToGbk(withoutLineBreaks(name), &bad);
  if (!gbk) {
    if (!writeFailure_) writeFailure_ = "字符“" + bad + "”无法以 GBK 编码保存。";
    return false;
  }
  std::string line = "[" + *gbk + "]";
  out_.write(line + "\r\n");
  lines_.push_back(std::move(line));
  return true;
}

bool SettingsFile::writeInt(std::string_view key, int value) { return writeLine(key, std::to_string(value)); }

bool SettingsFile::writeString(std::string_view key, std::string_view value) { return writeLine(key, value); }

std::size_t SettingsFile::sectionEnd(std::string_view gbkSection) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (gbkFind(lines_[i], gbkSection) != std::string_view::npos) return i + 1;
  }
  return std::string_view::npos;
}

bool SettingsFile::findSection(std::string_view section) const {
  if (mode_ != Mode::Reading) return false;
  auto gbk = utf8ToGbk(section);
  return gbk && sectionEnd(*gbk) != std::string_view::npos;
}

bool SettingsFile::readString(std::string_view section, std::string_view key, std::string& out) const {
  if (mode_ != Mode::Reading) return false;
  auto gbkSection = utf8ToGbk(section);
  auto gbkKey = utf8ToGbk(key);
  if (!gbkSection || !gbkKey) return false;
  std::size_t first = sectionEnd(*gbkSection);
  if (first == std::string_view::npos) return false;
  for (std::size_t i = first; i < lines_.size(); ++i) {
    const std::string_view line = lines_[i];
    const std::size_t equals = gbkFind(line, "=");
    const std::string_view name = line.substr(0, equals == std::string_view::npos ? 0 : equals);
    if (line.starts_with('[') || name.empty()) continue;
    if (gbkFind(name, *gbkKey) == std::string_view::npos) continue;
    out = gbkToUtf8(trimSpaces(line.substr(equals + 1)));
    return true;
  }
  return false;
}

bool SettingsFile::readInt(std::string_view section, std::string_view key, int& out) const {
  std::string text;
  if (!readString(section, key, text)) return false;
  out = atoiValue(text);
  return true;
}

}  // namespace kro
