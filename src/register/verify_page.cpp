// The verification page.
#include "register/verify_page.h"

#include "register/code_check.h"
#include "report/report_code.h"

namespace kro {

// tweetnacl-js (public domain), from Debian's node-tweetnacl, inlined at build time.
extern const char* const kTweetnaclJs;

namespace {

// A JSON string (the page's data is JSON inside a script: "<" is escaped so no text ends it).
std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '<' || c == '>' || c == '&' || u < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

constexpr const char* kStyle = R"css(
body{font-family:"Noto Sans CJK SC","Microsoft YaHei",sans-serif;margin:0;padding:1em;max-width:40em;margin:auto;color:#222}
#result{font-size:3em;font-weight:bold;text-align:center;margin:.3em 0;padding:.3em;border-radius:.2em}
.ok{background:#e3f4e3;color:#13651a}.bad{background:#fbe3e3;color:#a01010}.void{background:#fff0d8;color:#8a5200}
#why{text-align:center;font-size:1.2em}table{width:100%;border-collapse:collapse;font-size:1.1em}
th{text-align:left;white-space:nowrap;padding:.35em .6em .35em 0;color:#555;vertical-align:top}
td{padding:.35em 0;word-break:break-all}.fp{font:bold 1.2em monospace}.note{color:#555;font-size:.95em}
)css";

constexpr const char* kScript = R"js(
(function () {
  "use strict";
  var RULES = ["本单位规则", "逐点判定", "GB 50204-2015 附录F"];
  function $(id) { return document.getElementById(id); }
  function bytes(text) {
    text = text.replace(/-/g, "+").replace(/_/g, "/");
    while (text.length % 4) text += "=";
    var b = atob(text), a = new Uint8Array(b.length);
    for (var i = 0; i < b.length; i++) a[i] = b.charCodeAt(i);
    return a;
  }
  function hex(a) {
    return Array.prototype.map.call(a, function (x) { return (x < 16 ? "0" : "") + x.toString(16); }).join("");
  }
  // The payload, version 1, read as kro reads it: nothing but a whole payload.
  function parse(a) {
    var at = 0;
    function take(n) { if (at + n > a.length) throw new Error("short"); at += n; return a.subarray(at - n, at); }
    function byte() { return take(1)[0]; }
    function varint() {
      var v = 0, m = 1;
      for (var k = 0; k < 9; k++) { var b = byte(); v += (b & 127) * m; if (!(b & 128)) return v; m *= 128; }
      throw new Error("varint");
    }
    function text() { return new TextDecoder("utf-8", {fatal: true}).decode(take(byte())); }
    if (byte() !== 1) throw new Error("version");
    var r = {keyId: hex(take(4))};
    var d = take(2);
    r.issued = new Date(Date.UTC(2000, 0, 1) + (d[0] * 256 + d[1]) * 86400000).toISOString().slice(0, 10);
    r.revision = byte(); r.rule = byte(); r.passes = byte() === 1;
    r.readings = varint(); r.passing = varint(); r.members = varint(); r.membersPassing = varint();
    r.number = text(); r.rate = text(); r.project = text(); r.sha = hex(take(32));
    if (at !== a.length || r.rule > 2) throw new Error("length");
    return r;
  }
  function verify(key, signature, message) {
    var nacl = function () {
      return Promise.resolve({ok: window.nacl.sign.detached.verify(message, signature, key), how: "tweetnacl"});
    };
    if (/[?&]nacl\b/.test(location.search) || !window.crypto || !crypto.subtle) return nacl();
    return crypto.subtle.importKey("raw", key, {name: "Ed25519"}, false, ["verify"])
      .then(function (k) { return crypto.subtle.verify({name: "Ed25519"}, k, signature, message); })
      .then(function (ok) { return {ok: ok, how: "浏览器"}; }, nacl);
  }
  function show(kind, word, why, rows) {
    $("result").className = kind;
    $("result").textContent = word;
    $("why").textContent = why || "";
    var table = $("fields");
    (rows || []).forEach(function (row) {
      var tr = document.createElement("tr"), th = document.createElement("th"), td = document.createElement("td");
      th.textContent = row[0]; td.textContent = row[1];
      if (row[2]) td.className = row[2];
      tr.appendChild(th); tr.appendChild(td); table.appendChild(tr);
    });
  }
  function voided(name, list) {
    return list.indexOf(name) >= 0;
  }
  function check(voidList) {
    var hash = location.hash.slice(1);
    if (!hash) { show("bad", "无效", "网址中没有防伪校验码：请扫描报告上的二维码"); return; }
    var all, report;
    try {
      all = bytes(decodeURIComponent(hash));
      if (all.length <= 64) throw new Error("short");
      report = parse(all.subarray(0, all.length - 64));
    } catch (e) { show("bad", "无效", "这不是本单位报告的防伪校验码，或校验码不完整"); return; }
    var key = KEYS.filter(function (k) { return k.id === report.keyId; })[0];
    if (!key) { show("bad", "无效", "签名所用的密钥不是本单位的"); return; }
    verify(bytes(key.publicKey), all.subarray(all.length - 64), all.subarray(0, all.length - 64)).then(function (v) {
      var name = report.number + " 第 " + report.revision + " 版";
      var counts = report.readings + " 点，合格 " + report.passing + " 点" +
        (report.members ? "；构件 " + report.members + " 个，合格 " + report.membersPassing + " 个" : "");
      var rows = [["签发单位", key.office], ["报告编号", name], ["签发日期", report.issued],
        ["工程名称", report.project || "（未印出）"], ["判定规则", RULES[report.rule]], ["数量", counts],
        ["合格率", report.rate + " %"], ["结论", report.passes ? "合格" : "不合格"],
        ["网站", location.host || "（本机文件）"], ["密钥指纹", key.fingerprint, "fp"],
        ["核对方式", v.how], ["数据 SHA-256", report.sha]];
      if (!v.ok) { show("bad", "无效", "签名与内容不符：校验码被改动过", rows); return; }
      var day = report.issued;
      if (day < key.validFrom || (key.validUntil && day > key.validUntil) || (key.revoked && day >= key.revoked)) {
        show("bad", "无效", "签发日期不在密钥的有效期内（或密钥已吊销）", rows); return;
      }
      if (voided(name, voidList)) { show("void", "已作废", "本单位已作废这份报告", rows); return; }
      show("ok", "有效", "内容由本单位签发且未被改动（请核对报告上印的与以上各项一致）", rows);
    });
  }
  // The void list published beside the page, when there is one, with the numbers the page holds.
  var list = VOIDED.slice();
  var done = false;
  function run() { if (!done) { done = true; check(list); } }
  if (window.fetch && location.protocol !== "file:") {
    fetch("void-list.json", {cache: "no-store"}).then(function (r) { return r.ok ? r.json() : {}; })
      .then(function (j) { (j.void || []).forEach(function (v) { list.push(v.number + " 第 " + v.revision + " 版"); }); })
      .catch(function () {}).then(run);
  } else {
    run();
  }
  window.addEventListener("hashchange", function () { location.reload(); });
})();
)js";

}  // namespace

std::string verifyPage(const std::vector<OfficeKey>& keys, const std::vector<std::string>& voided) {
  std::string data = "var KEYS = [";
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const OfficeKey& key = keys[k];
    data += std::string(k > 0 ? "," : "") + "\n  {id: " + jsonString(key.id) +
            ", office: " + jsonString(key.office) + ", publicKey: " + jsonString(base64Url(key.publicKey)) +
            ", fingerprint: " + jsonString(fingerprintOf(key.publicKey)) +
            ", validFrom: " + jsonString(isoDate(key.validFrom)) +
            ", validUntil: " + (key.validUntil ? jsonString(isoDate(*key.validUntil)) : "null") +
            ", revoked: " + (key.revoked ? jsonString(isoDate(*key.revoked)) : "null") + "}";
  }
  data += "];\nvar VOIDED = [";
  for (std::size_t k = 0; k < voided.size(); ++k) data += (k > 0 ? ", " : "") + jsonString(voided[k]);
  data += "];\n";
  const std::string office = keys.empty() ? std::string() : keys.back().office;
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\" translate=\"no\"><head><meta charset=\"utf-8\"><meta "
         "name=\"google\" content=\"notranslate\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>检测报告防伪校验</title><style>" +
         std::string(kStyle) + "</style></head><body><h1 style=\"font-size:1.3em;text-align:center\">" +
         htmlEscaped(office) +
         " 检测报告防伪校验</h1><div id=\"result\">正在核对…</div><p id=\"why\"></p><table "
         "id=\"fields\"></table>"
         "<p "
         "class=\"note\">"
         "核对在本机完成，不连接任何服务器：“有效”说明报告的这些内容由持有上述密钥的单位签发且未被改动；"
         "请确认本页的网址是该单位自己的网站，并与报告上印的密钥指纹一致。它不是电子印章，纸质报告仍以单位印"
         "章为准。</p>"
         "<script>" +
         std::string(kTweetnaclJs) + "</script><script>" + data + kScript + "</script></body></html>\n";
}

std::vector<std::string> voidedReports(const std::vector<ReportRecord>& reports) {
  std::vector<std::string> out;
  for (const ReportRecord& r : reports) {
    if (r.state == ReportState::Void) out.push_back(r.revisionText());
  }
  return out;
}

std::string voidListJson(const std::vector<ReportRecord>& reports) {
  std::string out = "{\"void\": [";
  bool first = true;
  for (const ReportRecord& r : reports) {
    if (r.state != ReportState::Void) continue;
    out += std::string(first ? "" : ",") + "\n  {\"number\": " + jsonString(r.number) +
           ", \"revision\": " + std::to_string(r.revision) + "}";
    first = false;
  }
  return out + "\n]}\n";
}

}  // namespace kro
