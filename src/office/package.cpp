// Package parts with libzip, XML checks with pugixml.
#include "office/package.h"

#include <zip.h>

#include <charconv>
#include <cstring>
#include <limits>
#include <pugixml.hpp>

#include "model/file_io.h"
#include "model/utf8_text.h"

namespace kro {

namespace {

// How large the parts of a package may be: a template's are bounded (a file from elsewhere),
// a package just written is ours, whatever its size.
struct PartLimits {
  std::uint64_t entry;
  std::uint64_t total;
};
constexpr PartLimits kTemplateLimits{kMaxTemplateEntrySize, kMaxTemplateFileSize};
constexpr PartLimits kWrittenLimits{std::numeric_limits<std::uint64_t>::max() / 4,
                                    std::numeric_limits<std::uint64_t>::max() / 4};

// Reads one part of the package. Sizes are checked before anything is allocated: a part may
// not claim more than the limits, nor more compressed bytes than the file holds, and it must
// deliver exactly the size it claims (libzip checks its checksum at the end).
Result<std::string> readEntry(zip_t* archive, zip_uint64_t index, const char* name, std::uint64_t fileSize,
                              std::uint64_t& total, const PartLimits& limits) {
  const std::string part = std::string("其中的“") + name + "”";
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive, index, 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0) {
    return Error{part + "无法读取"};
  }
  if (st.size > limits.entry || ((st.valid & ZIP_STAT_COMP_SIZE) != 0 && st.comp_size > fileSize)) {
    return Error{part + "声明的大小（" + std::to_string(st.size) + " 字节）不合理"};
  }
  total += st.size;
  if (total > limits.total) return Error{"各部分合计超过 " + std::to_string(limits.total >> 20) + " MB"};
  zip_file_t* file = zip_fopen_index(archive, index, 0);
  if (file == nullptr) return Error{part + "无法打开"};
  std::string data(static_cast<std::size_t>(st.size), '\0');
  zip_int64_t n = st.size > 0 ? zip_fread(file, data.data(), st.size) : 0;
  char extra;
  if (n == static_cast<zip_int64_t>(st.size) && zip_fread(file, &extra, 1) != 0)
    n = -1;  // longer than claimed
  zip_fclose(file);
  if (n != static_cast<zip_int64_t>(st.size)) return Error{part + "的数据不完整或校验失败"};
  return data;
}

bool endsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

}  // namespace

Result<PackageParts> readPackage(std::string_view bytes, const std::filesystem::path& path) {
  const std::string damaged = "文档“" + displayPath(path) + "”已损坏，无法使用：";
  zip_error_t openError;
  zip_error_init(&openError);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &openError);
  zip_t* archive = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY, &openError) : nullptr;
  zip_error_fini(&openError);
  if (archive == nullptr) {
    if (source != nullptr) zip_source_free(source);
    return Error{damaged + "它不是有效的 .docx 文件。"};
  }
  PackageParts parts;
  std::uint64_t total = 0;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* got = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
    const std::string name = got != nullptr ? got : "";  // the library's copy does not last
    if (name.empty() || name.back() == '/') continue;    // folders
    auto data =
        readEntry(archive, static_cast<zip_uint64_t>(i), name.c_str(), bytes.size(), total, kTemplateLimits);
    if (!data) {
      zip_discard(archive);
      return Error{damaged + data.message() + "。"};
    }
    parts.emplace_back(name, std::move(data.value()));
  }
  zip_discard(archive);
  return parts;
}

bool isNonCharacter(std::string_view utf8, std::size_t i) {
  return i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i]) == 0xEF &&
         static_cast<unsigned char>(utf8[i + 1]) == 0xBF &&
         (static_cast<unsigned char>(utf8[i + 2]) == 0xBE || static_cast<unsigned char>(utf8[i + 2]) == 0xBF);
}

std::string xmlSafeText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (const std::size_t n = utf8SequenceAt(utf8, i); n == 0) {
      out += "\xEF\xBF\xBD";  // bytes that are no UTF-8 show as the replacement character
    } else if (n > 1) {
      if (isNonCharacter(utf8, i)) {
        i += 2;
        continue;
      }
      out.append(utf8.substr(i, n));
      i += n - 1;
    } else if (c == '\v' || c == '\f') {
      out += '\n';
    } else if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      // dropped
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// XML 1.0's characters: tab, line ends, and from space on, without surrogates and U+FFFE/FFFF.
bool isXmlCharacter(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// A character reference (&#1; or &#x1;) to a character XML does not allow: a parser may let it
// through, but Word refuses the document.
std::string badCharacterReference(std::string_view xml) {
  for (std::size_t at = xml.find("&#"); at != std::string_view::npos; at = xml.find("&#", at + 2)) {
    const std::size_t end = xml.find(';', at);
    if (end == std::string_view::npos || end - at > 12) continue;
    const bool hex = at + 2 < end && (xml[at + 2] == 'x' || xml[at + 2] == 'X');
    std::uint32_t value = 0;
    const char* first = xml.data() + at + (hex ? 3 : 2);
    auto [ptr, ec] = std::from_chars(first, xml.data() + end, value, hex ? 16 : 10);
    if (ec != std::errc() || ptr != xml.data() + end || !isXmlCharacter(value)) {
      return "第 " + std::to_string(at) + " 个字节处有 XML 不允许的字符引用“" +
             std::string(xml.substr(at, end - at + 1)) + "”";
    }
  }
  return {};
}

}  // namespace

// A reference to an entity other than XML's five, outside comments, CDATA sections and
// processing instructions: it needs a document type, which a package's parts never have.
std::string unknownEntityReference(std::string_view xml) {
  static constexpr std::pair<std::string_view, std::string_view> kVerbatim[] = {
      {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
  for (std::size_t at = xml.find_first_of("&<"); at != std::string_view::npos;
       at = xml.find_first_of("&<", at + 1)) {
    const std::string_view rest = xml.substr(at + 1);
    if (xml[at] == '<') {
      for (const auto& [open, close] : kVerbatim) {
        if (!xml.substr(at).starts_with(open)) continue;
        const std::size_t end = xml.find(close, at + open.size());
        if (end == std::string_view::npos) return {};  // the parser says what is wrong
        at = end;
        break;
      }
      continue;
    }
    if (rest.starts_with('#')) continue;  // a character reference, checked on its own
    bool known = false;
    for (std::string_view name : {"amp;", "lt;", "gt;", "quot;", "apos;"})
      known = known || rest.starts_with(name);
    if (known) continue;
    const std::size_t end = rest.find_first_of(";<>\"' \t\r\n");
    std::size_t shown = std::min<std::size_t>(end, 40);
    while (shown > 0 && shown < rest.size() && (static_cast<unsigned char>(rest[shown]) & 0xC0) == 0x80)
      --shown;
    const std::string_view name = rest.substr(0, shown);
    return "第 " + std::to_string(at) + " 个字节处引用了未定义的实体“&" + std::string(name) + ";”";
  }
  return {};
}

std::string xmlProblem(std::string_view xml, bool parse) {
  for (std::size_t i = 0; i < xml.size(); ++i) {
    const auto c = static_cast<unsigned char>(xml[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || isNonCharacter(xml, i)) {
      return "第 " + std::to_string(i) + " 个字节处有 XML 不允许的字符";
    }
    if (c >= 0x80) {
      const std::size_t n = utf8SequenceAt(xml, i);
      if (n == 0) return "第 " + std::to_string(i) + " 个字节处不是 UTF-8 文字";
      i += n - 1;
    }
  }
  // A document type may define entities that expand without bound; Word's parts never have one.
  if (const std::size_t at = xml.find("<!DOCTYPE"); at != std::string_view::npos)
    return "第 " + std::to_string(at) + " 个字节处有文档类型定义（<!DOCTYPE），文档中不允许";
  if (std::string problem = unknownEntityReference(xml); !problem.empty()) return problem;
  if (std::string problem = badCharacterReference(xml); !problem.empty()) return problem;
  if (!parse) return {};
  pugi::xml_document parsed;
  const pugi::xml_parse_result result = parsed.load_buffer(xml.data(), xml.size());
  if (!result) return std::string("无法解析（") + result.description() + "）";
  return {};
}

Status checkWrittenPackage(const std::filesystem::path& file, const std::filesystem::path& shownAs) {
  const std::string invalid = "无法写入“" + displayPath(shownAs) + "”：生成的文档内容无效，";
  std::error_code ec;
  const std::uint64_t fileSize = std::filesystem::file_size(file, ec);
  int error = 0;
  zip_t* archive = ec ? nullptr : zip_open(displayPath(file).c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) return Error{invalid + "无法读回。"};
  // A part at a time: a large workbook is never held whole a second time.
  std::uint64_t total = 0;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* got = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
    const std::string name = got != nullptr ? got : "";  // the library's copy does not last
    if (!endsWith(name, ".xml") && !endsWith(name, ".rels")) continue;
    auto data =
        readEntry(archive, static_cast<zip_uint64_t>(i), name.c_str(), fileSize, total, kWrittenLimits);
    constexpr std::size_t kLargestParsedPart = 32u << 20;
    std::string problem =
        data ? xmlProblem(data.value(), data.value().size() <= kLargestParsedPart) : "无法读回";
    if (!problem.empty()) {
      zip_discard(archive);
      return Error{invalid + "其中的“" + name + "”" + problem + "。"};
    }
  }
  zip_discard(archive);
  return Status::success();
}

}  // namespace kro
