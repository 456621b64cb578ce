// Checking an issued report's anti-counterfeit code.
#include "register/code_check.h"

#include <algorithm>
#include <pugixml.hpp>

#include "model/file_io.h"
#include "office/package.h"

namespace kro {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxDocumentSize = std::uint64_t{512} << 20;

// The words of an XML part's w:t elements, in order.
void appendWords(const std::string& xml, std::string& out) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size())) return;
  for (pugi::xpath_node t : doc.select_nodes("//*[local-name()='t']")) out += t.node().text().get();
  out += '\n';
}

std::string figureLine(const SignedReport& r) {
  std::string line = "测点 " + std::to_string(r.readings) + "，合格 " + std::to_string(r.passing);
  if (r.members > 0)
    line += "；构件 " + std::to_string(r.members) + "，合格 " + std::to_string(r.membersPassing);
  return line + "；合格率 " + r.rate + " %";
}

}  // namespace

std::string publicKeysText(const std::vector<OfficeKey>& keys) {
  std::string out = "# 本单位防伪校验码的公钥（kroanalyze）：核对报告时用 kro verify --key 本文件\n";
  for (const OfficeKey& k : keys) {
    out += "\n密钥 " + k.id + "\n单位 " + k.office + "\n公钥 " + base64Url(k.publicKey) + "\n指纹 " +
           fingerprintOf(k.publicKey) + "\n启用 " + isoDate(k.validFrom) + "\n";
    if (k.validUntil) out += "有效期至 " + isoDate(*k.validUntil) + "\n";
    if (k.revoked) out += "吊销 " + isoDate(*k.revoked) + "\n吊销原因 " + k.revokeReason + "\n";
  }
  return out;
}

std::string htmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

std::string publicKeysPage(const std::vector<OfficeKey>& keys) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>防伪校验码的公钥</title>"
      "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
      "td,th{border:1px solid #444;padding:.4em .8em;text-align:left}th,.fp{white-space:nowrap}.fp{font:bold "
      "1.6em monospace}"
      "</style></head><body><h1>本单位检测报告防伪校验码的公钥</h1>"
      "<p>报告上二维码旁印的密钥指纹应与下表中的一致；核对报告：kro verify 报告文件 --key 公钥文件。</p>"
      "<table><tr><th>单位</th><th>密钥</th><th>指纹</th><th>有效期</th><th>状态</th><th>公钥</th></tr>";
  for (const OfficeKey& k : keys) {
    out += "<tr><td>" + htmlEscaped(k.office) + "</td><td>" + k.id + "</td><td class=\"fp\">" +
           fingerprintOf(k.publicKey) + "</td><td>" + isoDate(k.validFrom) + " 至 " +
           (k.validUntil ? isoDate(*k.validUntil) : std::string("不限")) + "</td><td>" +
           (k.revoked ? "自 " + isoDate(*k.revoked) + " 起吊销：" + htmlEscaped(k.revokeReason)
                      : std::string("有效")) +
           "</td><td><code>" + base64Url(k.publicKey) + "</code></td></tr>";
  }
  return out + "</table></body></html>\n";
}

Result<std::vector<OfficeKey>> parsePublicKeys(std::string_view text) {
  std::vector<OfficeKey> keys;
  std::optional<OfficeKey> open;
  int line = 0;
  auto close = [&]() -> Status {
    if (!open) return {};
    if (open->publicKey.size() != 32 || keyIdOf(open->publicKey) != open->id)
      return Error{"公钥文件中密钥“" + open->id + "”的公钥无效（第 " + std::to_string(line) + " 行之前）"};
    keys.push_back(std::move(*open));
    open.reset();
    return {};
  };
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view l = text.substr(start, end - start);
    start = end + 1;
    ++line;
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    if (l.empty() || l.front() == '#') continue;
    const std::size_t space = l.find(' ');
    const std::string_view name = l.substr(0, space);
    const std::string value(space == std::string_view::npos ? std::string_view() : l.substr(space + 1));
    if (name == "密钥") {
      if (Status s = close(); !s) return Error{s.message()};
      open.emplace();
      open->id = value;
      continue;
    }
    if (!open) return Error{"公钥文件第 " + std::to_string(line) + " 行不在任何密钥之下"};
    bool dateOk = true;
    if (name == "单位")
      open->office = value;
    else if (name == "公钥")
      open->publicKey = fromBase64Url(value).value_or(std::string());
    else if (name == "启用")
      dateOk = (open->validFrom = parseIsoDate(value).value_or(CalendarDate{0, 0, 0})).year != 0;
    else if (name == "有效期至")
      dateOk = (open->validUntil = parseIsoDate(value)).has_value();
    else if (name == "吊销")
      dateOk = (open->revoked = parseIsoDate(value)).has_value();
    else if (name == "吊销原因")
      open->revokeReason = value;
    if (!dateOk) return Error{"公钥文件第 " + std::to_string(line) + " 行的日期无效"};
  }
  if (Status s = close(); !s) return Error{s.message()};
  if (keys.empty()) return Error{"公钥文件中没有密钥"};
  return keys;
}

Result<DocumentCode> codeOfDocument(const fs::path& file) {
  auto bytes = readWholeFile(file, kMaxDocumentSize);
  if (!bytes) return bytes.error();
  const std::string& b = bytes.value();
  DocumentCode found;
  if (b.starts_with("%PDF")) {
    // The XMP packet the report was written with: <kro:kroanalyze-code>…</kro:kroanalyze-code>.
    const std::string open = "<kro:" + std::string(kCodeProperty) + ">";
    const std::string close = "</kro:" + std::string(kCodeProperty) + ">";
    const std::size_t at = b.find(open);
    const std::size_t end = at == std::string::npos ? at : b.find(close, at);
    if (end == std::string::npos)
      return Error{"“" + displayPath(file) + "”中没有防伪校验码（不是签发的报告，或已被另存过）"};
    found.code = b.substr(at + open.size(), end - at - open.size());
    for (std::size_t amp = found.code.find("&amp;"); amp != std::string::npos;
         amp = found.code.find("&amp;", amp + 1))
      found.code.erase(amp + 1, 4);
    return found;
  }
  auto parts = readPackage(b, file);
  if (!parts) return Error{"“" + displayPath(file) + "”既不是 PDF 也不是 Word 文档：" + parts.message()};
  std::string words;
  for (const auto& [name, data] : parts.value()) {
    if (name == "docProps/custom.xml") {
      pugi::xml_document doc;
      if (!doc.load_buffer(data.data(), data.size())) continue;
      for (pugi::xml_node p : doc.child("Properties").children("property")) {
        if (kCodeProperty == p.attribute("name").value()) found.code = p.first_child().text().get();
      }
    }
    if (name == "word/document.xml" || (name.starts_with("word/header") && name.ends_with(".xml")) ||
        (name.starts_with("word/footer") && name.ends_with(".xml")))
      appendWords(data, words);
  }
  if (found.code.empty())
    return Error{"“" + displayPath(file) + "”中没有防伪校验码（不是签发的报告，或已被另存过）"};
  found.printedText = std::move(words);
  return found;
}

CodeCheck checkCode(const ReadCode& read, const std::vector<OfficeKey>& keys) {
  CodeCheck check;
  check.read = read;
  const SignedReport& r = read.report;
  auto key = std::find_if(keys.begin(), keys.end(), [&](const OfficeKey& k) { return k.id == r.keyId; });
  if (key == keys.end()) {
    check.problems.push_back("签名所用的密钥 " + r.keyId +
                             " 不在给出的公钥之中（不是本单位签发的，或公钥不全）");
    return check;
  }
  check.key = &*key;
  if (!signatureValid(read, key->publicKey)) {
    check.problems.push_back("签名与内容不符：校验码被改动过，或不是用这把密钥签的");
    return check;
  }
  if (auto problem = key->problemOn(r.issued)) check.problems.push_back(*problem);
  return check;
}

void checkPrintedFigures(CodeCheck& check, const std::string& printed) {
  const SignedReport& r = check.read.report;
  const std::pair<const char*, std::string> figures[] = {
      {"报告编号", r.number},
      {"合格率", r.rate},
      {"测点总数", std::to_string(r.readings)},
      {"合格点数", std::to_string(r.passing)},
      {"结论", r.passes ? "合格" : "不合格"},
  };
  for (const auto& [label, value] : figures) {
    if (printed.find(value) == std::string::npos)
      check.problems.push_back(std::string("文档中印的") + label + "不是签名的“" + value +
                               "”（文档被改动过）");
  }
}

std::vector<std::string> signedFieldLines(const CodeCheck& check) {
  const SignedReport& r = check.read.report;
  std::vector<std::string> lines;
  if (check.key != nullptr)
    lines.push_back("签发单位：" + check.key->office + "（密钥 " + r.keyId + "，指纹 " +
                    fingerprintOf(check.key->publicKey) + "）");
  else
    lines.push_back("签名密钥：" + r.keyId);
  lines.push_back("报告编号：" + revisionText(r.number, r.revision));
  lines.push_back("签发日期：" + isoDate(r.issued));
  lines.push_back("工程名称：" + r.project);
  lines.push_back("判定规则：" + ruleNameOfCode(r.rule));
  lines.push_back("数量：" + figureLine(r));
  lines.push_back(std::string("结论：") + (r.passes ? "合格" : "不合格"));
  lines.push_back("数据 SHA-256：" + r.dataSha256);
  return lines;
}

}  // namespace kro
