// The signed anti-counterfeit code of an issued report.
#include "report/report_code.h"

#include <sodium.h>

#include <cstdlib>

#include "base/sha256.h"
#include "model/analysis_file.h"
#include "model/utf8_text.h"
#include "report/qr_code.h"

namespace kro {

namespace {

constexpr int kEpoch2000 = 10957;  // daysFromCivil(2000-01-01)
constexpr std::string_view kCut = "…";

void ensureSodium() {
  if (sodium_init() < 0) std::abort();
}

void putVarint(std::string& out, std::int64_t value) {
  auto v = static_cast<std::uint64_t>(value < 0 ? 0 : value);
  do {
    const auto low = static_cast<unsigned char>(v & 0x7F);
    v >>= 7;
    out += static_cast<char>(v != 0 ? (low | 0x80) : low);
  } while (v != 0);
}

void putText(std::string& out, std::string_view text) {
  out += static_cast<char>(text.size());
  out += text;
}

// Reads the payload's fields in order, never past its end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  bool atEnd() const { return at_ == bytes_.size(); }
  std::string_view take(std::size_t n) {
    if (!ok_ || bytes_.size() - at_ < n) {
      ok_ = false;
      return {};
    }
    const std::string_view out = bytes_.substr(at_, n);
    at_ += n;
    return out;
  }
  unsigned byte() {
    const std::string_view b = take(1);
    return b.empty() ? 0 : static_cast<unsigned char>(b[0]);
  }
  std::int64_t varint() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 63; shift += 7) {
      const unsigned b = byte();
      v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return static_cast<std::int64_t>(v);
    }
    ok_ = false;
    return 0;
  }
  std::string text() { return std::string(take(byte())); }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

std::string hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    out += kHex[static_cast<unsigned char>(c) >> 4];
    out += kHex[static_cast<unsigned char>(c) & 0x0F];
  }
  return out;
}

std::optional<std::string> unhex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out(text.size() / 2, '\0');
  std::size_t n = 0;
  if (sodium_hex2bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(), text.size(),
                     nullptr, &n, nullptr) != 0 ||
      n != out.size())
    return std::nullopt;
  return out;
}

// The text cut to at most `bytes` bytes at a character's boundary, "…" ending it when cut.
std::string cutTo(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  if (bytes < kCut.size()) return {};
  std::size_t end = bytes - kCut.size();
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + std::string(kCut);
}

}  // namespace

int ruleCode(std::string_view ruleName) {
  if (ruleName == kPointRuleName) return 1;
  if (ruleName == kSlabRuleName) return 2;
  return 0;
}

std::string ruleNameOfCode(int code) {
  if (code == 1) return std::string(kPointRuleName);
  if (code == 2) return std::string(kSlabRuleName);
  return "本单位规则";
}

std::string canonicalDataSha256(const Project& project) {
  return hexOf(sha256(encodeMembers(project.members, MemberLayout::Analysis)));
}

SignedReport signedReportOf(const Project& project, const ReportFigures& figures,
                            const std::string& projectName) {
  SignedReport r;
  r.rule = ruleCode(figures.judging.name);
  r.passes = figures.passes;
  r.readings = figures.readingCount;
  r.passing = figures.passCount;
  // Members are counted only under a rule that judges them.
  r.members = figures.judgesMembers() ? figures.memberCount : 0;
  r.membersPassing = figures.judgesMembers() ? figures.memberPassCount : 0;
  r.rate = figures.rateText;
  r.project = projectName;
  r.dataSha256 = canonicalDataSha256(project);
  return r;
}

std::string encodePayload(const SignedReport& r) {
  std::string out;
  out += static_cast<char>(kReportCodeVersion);
  out += unhex(r.keyId).value_or(std::string(4, '\0')).substr(0, 4);
  const int days = daysFromCivil(r.issued) - kEpoch2000;
  out += static_cast<char>((days >> 8) & 0xFF);
  out += static_cast<char>(days & 0xFF);
  out += static_cast<char>(r.revision & 0xFF);
  out += static_cast<char>(r.rule);
  out += static_cast<char>(r.passes ? 1 : 0);
  for (std::int64_t n : {r.readings, r.passing, r.members, r.membersPassing}) putVarint(out, n);
  putText(out, r.number.substr(0, 255));
  putText(out, r.rate.substr(0, 255));
  putText(out, cutTo(r.project, 255));
  out += unhex(r.dataSha256).value_or(std::string(32, '\0')).substr(0, 32);
  return out;
}

std::optional<SignedReport> decodePayload(std::string_view bytes) {
  Reader in(bytes);
  if (in.byte() != kReportCodeVersion) return std::nullopt;
  SignedReport r;
  r.keyId = hex(in.take(4));
  const std::string_view day = in.take(2);
  if (!in.ok()) return std::nullopt;
  r.issued = civilFromDays(kEpoch2000 + (static_cast<unsigned char>(day[0]) << 8) +
                           static_cast<unsigned char>(day[1]));
  r.revision = static_cast<int>(in.byte());
  r.rule = static_cast<int>(in.byte());
  r.passes = in.byte() == 1;
  r.readings = in.varint();
  r.passing = in.varint();
  r.members = in.varint();
  r.membersPassing = in.varint();
  r.number = in.text();
  r.rate = in.text();
  r.project = in.text();
  r.dataSha256 = hex(in.take(32));
  if (!in.ok() || !in.atEnd() || r.rule > 2 || invalidUtf8At(r.number) != std::string::npos ||
      invalidUtf8At(r.project) != std::string::npos)
    return std::nullopt;
  return r;
}

KeyPair newKeyPair() {
  ensureSodium();
  KeyPair k{std::string(crypto_sign_PUBLICKEYBYTES, '\0'), std::string(crypto_sign_SECRETKEYBYTES, '\0')};
  crypto_sign_keypair(reinterpret_cast<unsigned char*>(k.publicKey.data()),
                      reinterpret_cast<unsigned char*>(k.secretKey.data()));
  return k;
}

std::string keyIdOf(std::string_view publicKey) { return hexOf(sha256(publicKey)).substr(0, 8); }

std::string fingerprintOf(std::string_view publicKey) {
  const std::string digits = hexOf(sha256(publicKey)).substr(0, 16);
  std::string out;
  for (std::size_t k = 0; k < digits.size(); k += 4) {
    if (k > 0) out += '-';
    for (char c : digits.substr(k, 4)) out += static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
  }
  return out;
}

std::string sealSecretKey(std::string_view secretKey, std::string_view passphrase) {
  ensureSodium();
  unsigned char salt[crypto_pwhash_SALTBYTES], nonce[crypto_secretbox_NONCEBYTES],
      key[crypto_secretbox_KEYBYTES];
  randombytes_buf(salt, sizeof salt);
  randombytes_buf(nonce, sizeof nonce);
  if (crypto_pwhash(key, sizeof key, passphrase.data(), passphrase.size(), salt,
                    crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE,
                    crypto_pwhash_ALG_ARGON2ID13) != 0)
    std::abort();  // out of memory
  std::string box(secretKey.size() + crypto_secretbox_MACBYTES, '\0');
  crypto_secretbox_easy(reinterpret_cast<unsigned char*>(box.data()),
                        reinterpret_cast<const unsigned char*>(secretKey.data()), secretKey.size(), nonce,
                        key);
  sodium_memzero(key, sizeof key);
  return base64Url(std::string(reinterpret_cast<char*>(salt), sizeof salt) +
                   std::string(reinterpret_cast<char*>(nonce), sizeof nonce) + box);
}

Result<std::string> openSecretKey(std::string_view sealed, std::string_view passphrase) {
  ensureSodium();
  const auto bytes = fromBase64Url(sealed);
  constexpr std::size_t kHead = crypto_pwhash_SALTBYTES + crypto_secretbox_NONCEBYTES;
  if (!bytes || bytes->size() != kHead + crypto_sign_SECRETKEYBYTES + crypto_secretbox_MACBYTES)
    return Error{"台账中的签名密钥已损坏"};
  const auto* salt = reinterpret_cast<const unsigned char*>(bytes->data());
  unsigned char key[crypto_secretbox_KEYBYTES];
  if (crypto_pwhash(key, sizeof key, passphrase.data(), passphrase.size(), salt,
                    crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE,
                    crypto_pwhash_ALG_ARGON2ID13) != 0)
    return Error{"内存不足，无法打开签名密钥"};
  std::string secret(crypto_sign_SECRETKEYBYTES, '\0');
  const int opened = crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(secret.data()), salt + kHead,
                                                bytes->size() - kHead, salt + crypto_pwhash_SALTBYTES, key);
  sodium_memzero(key, sizeof key);
  if (opened != 0) return Error{"签名密钥的口令不对"};
  return secret;
}

std::string base64Url(std::string_view bytes) {
  ensureSodium();
  std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                    bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  out.resize(out.size() - 1);  // the terminating zero
  return out;
}

std::optional<std::string> fromBase64Url(std::string_view text) {
  ensureSodium();
  std::string out(text.size() * 3 / 4 + 3, '\0');
  std::size_t n = 0;
  const char* end = nullptr;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(), text.size(),
                        nullptr, &n, &end, sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0 ||
      end != text.data() + text.size())
    return std::nullopt;
  out.resize(n);
  return out;
}

Result<std::string> signReportCode(SignedReport report, std::string_view secretKey,
                                   std::string_view address) {
  if (secretKey.size() != crypto_sign_SECRETKEYBYTES) return Error{"签名密钥已损坏"};
  const std::string prefix = address.empty() ? std::string() : std::string(address) + "#";
  const std::string whole = report.project;
  for (std::size_t room = whole.size();; room = room > 3 ? room - 3 : 0) {
    report.project = cutTo(whole, room);
    const std::string payload = encodePayload(report);
    std::string signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(payload.data()), payload.size(),
                         reinterpret_cast<const unsigned char*>(secretKey.data()));
    const std::string text = prefix + base64Url(payload + signature);
    if (encodeQr(text, kReportCodeMaxQrVersion)) return text;
    if (room == 0)
      return Error{"防伪校验码放不进第 " + std::to_string(kReportCodeMaxQrVersion) +
                   " 版二维码：请缩短验证网址或报告编号"};
  }
}

Result<ReadCode> readReportCode(std::string_view text) {
  const std::size_t hash = text.rfind('#');
  std::string_view code = hash == std::string_view::npos ? text : text.substr(hash + 1);
  while (!code.empty() && (code.back() == '\n' || code.back() == '\r' || code.back() == ' '))
    code.remove_suffix(1);
  const auto bytes = fromBase64Url(code);
  if (!bytes || bytes->size() <= crypto_sign_BYTES) return Error{"这不是本程序的防伪校验码"};
  ReadCode read;
  read.payload = bytes->substr(0, bytes->size() - crypto_sign_BYTES);
  read.signature = bytes->substr(bytes->size() - crypto_sign_BYTES);
  auto report = decodePayload(read.payload);
  if (!report) return Error{"防伪校验码的内容无法读出（版本未知或内容不全）"};
  read.report = std::move(report.value());
  return read;
}

bool signatureValid(const ReadCode& code, std::string_view publicKey) {
  ensureSodium();
  return publicKey.size() == crypto_sign_PUBLICKEYBYTES && code.signature.size() == crypto_sign_BYTES &&
         crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(code.signature.data()),
                                     reinterpret_cast<const unsigned char*>(code.payload.data()),
                                     code.payload.size(),
                                     reinterpret_cast<const unsigned char*>(publicKey.data())) == 0;
}

}  // namespace kro
