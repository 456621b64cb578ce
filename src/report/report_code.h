// The anti-counterfeit code of an issued report (防伪校验码): a compact, versioned payload of
// what the report says (number, revision, date, project, rule, counts, rate, verdict and the
// SHA-256 of the project's data), signed with the office's Ed25519 key and written base64url,
// so that anyone holding the office's public key can check a report without any server.
//
// The payload, version 1 (integers big-endian, texts UTF-8 after a length byte):
//   1 byte version, 4 bytes key id, 2 bytes issue date (days since 2000-01-01), 1 byte revision,
//   1 byte rule (1 逐点判定, 2 GB 50204-2015 附录F, 0 a rule of the office's own), 1 byte
//   verdict (1 合格, 0 不合格), four counts (readings, passing readings, members, passing
//   members; each a LEB128 varint), text number, text rate ("78.6"), text project name (cut to
//   fit, ending in "…" when cut), 32 bytes SHA-256 of the project's data;
// then the 64-byte signature of all of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/calendar_date.h"
#include "base/result.h"
#include "model/project.h"
#include "model/report_figures.h"

namespace kro {

inline constexpr int kReportCodeVersion = 1;
// The largest QR code version the code may need, at error correction level M.
inline constexpr int kReportCodeMaxQrVersion = 10;
// The picture field and the parameter that carry the code into the documents.
inline constexpr std::string_view kCodeField = "校验码";
// A report's code in the documents' own properties (the .docx's custom properties, the PDF's
// XMP metadata).
inline constexpr std::string_view kCodeProperty = "kroanalyze-code";

struct SignedReport {
  std::string keyId;  // 8 lowercase hexadecimal digits
  std::string number;
  int revision = 1;
  CalendarDate issued;
  int rule = 0;
  bool passes = false;
  std::int64_t readings = 0, passing = 0, members = 0, membersPassing = 0;
  std::string rate;
  std::string project;
  std::string dataSha256;  // 64 lowercase hexadecimal digits
  bool operator==(const SignedReport&) const = default;
};

// The rule's byte, and its name back ("本单位规则" for 0).
int ruleCode(std::string_view ruleName);
std::string ruleNameOfCode(int code);

// The SHA-256 of a project's data as the code signs it: the analysis layout of all its members,
// without the blocks that follow them (parameters, log, origins).
std::string canonicalDataSha256(const Project& project);

// What a report of the project says, ready to be signed (the key id and number to be filled).
SignedReport signedReportOf(const Project& project, const ReportFigures& figures,
                            const std::string& projectName);

std::string encodePayload(const SignedReport& report);
// The payload's fields; nothing when the bytes are not a whole payload of a known version.
std::optional<SignedReport> decodePayload(std::string_view bytes);

// An Ed25519 key pair: 32-byte public key, 64-byte secret key.
struct KeyPair {
  std::string publicKey, secretKey;
};
KeyPair newKeyPair();
// The key's id (the first 4 bytes of its SHA-256, in hex) and its fingerprint, the first 8 bytes
// in four groups ("3F2A-91C0-…"), printed so that a forged key is spotted.
std::string keyIdOf(std::string_view publicKey);
std::string fingerprintOf(std::string_view publicKey);
// The secret key encrypted with a passphrase (Argon2id, XSalsa20-Poly1305), as base64; and back.
std::string sealSecretKey(std::string_view secretKey, std::string_view passphrase);
Result<std::string> openSecretKey(std::string_view sealed, std::string_view passphrase);

std::string base64Url(std::string_view bytes);
std::optional<std::string> fromBase64Url(std::string_view text);

// The text of the code: the payload and its signature in base64url, after "address#" when the
// office gives a verification address. The project name is cut until the code fits a QR code of
// version kReportCodeMaxQrVersion; refused when even without it it does not.
Result<std::string> signReportCode(SignedReport report, std::string_view secretKey, std::string_view address);

// A code read back: from the text after the last "#", or the whole text.
struct ReadCode {
  SignedReport report;
  std::string payload, signature;
};
Result<ReadCode> readReportCode(std::string_view text);
bool signatureValid(const ReadCode& code, std::string_view publicKey);

}  // namespace kro
