// The signed code where a slip is easy: the payload's bounds, the project name cut to fit the QR
// code, keys by their dates and revocation, the sealed secret, the public key file, and the data
// hash's test vector.
#include "register/code_check.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "model/file_io.h"
#include "model/project.h"
#include "report/qr_code.h"

namespace kro {
namespace {

SignedReport aReport() {
  SignedReport r;
  r.number = "LBHD-2026-0001";
  r.revision = 2;
  r.issued = {2026, 12, 9};
  r.rule = 2;
  r.passes = true;
  r.readings = 300;
  r.passing = 281;
  r.members = 30;
  r.membersPassing = 28;
  r.rate = "93.3";
  r.project = "阳光花园三期";
  r.dataSha256 = std::string(64, 'a');
  return r;
}

OfficeKey keyOf(const KeyPair& pair) {
  OfficeKey k;
  k.id = keyIdOf(pair.publicKey);
  k.office = "某某检测中心";
  k.publicKey = pair.publicKey;
  k.validFrom = {2026, 1, 1};
  return k;
}

TEST(ReportCode, PayloadReadsBackAndNothingButAWholePayloadIsRead) {
  SignedReport r = aReport();
  r.keyId = "0a1b2c3d";
  const std::string bytes = encodePayload(r);
  EXPECT_EQ(decodePayload(bytes), r);
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_EQ(decodePayload(bytes.substr(0, n)), std::nullopt) << n;
  EXPECT_EQ(decodePayload(bytes + "x"), std::nullopt);
  std::string future = bytes;
  future[0] = 2;  // a later version
  EXPECT_EQ(decodePayload(future), std::nullopt);
  EXPECT_FALSE(readReportCode("https://jc.example.cn/v#not-a-code"));
}

TEST(ReportCode, ALongProjectNameIsCutSoTheCodeFitsVersionTen) {
  const KeyPair pair = newKeyPair();
  SignedReport r = aReport();
  r.keyId = keyIdOf(pair.publicKey);
  std::string name;
  for (int k = 0; k < 40; ++k) name += "某";
  r.project = name;
  auto text = signReportCode(r, pair.secretKey, "https://jc.example.cn/v");
  ASSERT_TRUE(text) << text.message();
  EXPECT_LE(encodeQr(text.value())->version, kReportCodeMaxQrVersion);
  auto read = readReportCode(text.value());
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->report.project.ends_with("…")) << read->report.project;
  EXPECT_TRUE(name.starts_with(read->report.project.substr(0, read->report.project.size() - 3)));
  EXPECT_TRUE(signatureValid(read.value(), pair.publicKey));
  // An address that leaves no room even for the number is refused, not cut.
  EXPECT_FALSE(signReportCode(r, pair.secretKey, "https://" + std::string(200, 'x') + ".cn/"));
}

TEST(ReportCode, RevokedAndExpiredKeysSignNothingFromThatDayOn) {
  const KeyPair pair = newKeyPair();
  OfficeKey key = keyOf(pair);
  key.revoked = CalendarDate{2026, 12, 10};
  key.revokeReason = "泄露";
  auto signedOn = [&](CalendarDate day) {
    SignedReport r = aReport();
    r.keyId = key.id;
    r.issued = day;
    return checkCode(readReportCode(signReportCode(r, pair.secretKey, "").value()).value(), {key});
  };
  EXPECT_TRUE(signedOn({2026, 12, 9}).valid());
  EXPECT_FALSE(signedOn({2026, 12, 10}).valid());
  EXPECT_FALSE(signedOn({2025, 12, 31}).valid());  // before its first day
  key.revoked.reset();
  key.validUntil = CalendarDate{2026, 6, 30};
  EXPECT_FALSE(signedOn({2026, 7, 1}).valid());
  // Another key of the same id (a forged key file) does not check it.
  OfficeKey forged = keyOf(newKeyPair());
  forged.id = key.id;
  SignedReport r = aReport();
  r.keyId = key.id;
  EXPECT_FALSE(
      checkCode(readReportCode(signReportCode(r, pair.secretKey, "").value()).value(), {forged}).valid());
}

TEST(ReportCode, SecretKeysOpenOnlyWithTheirPassphrase) {
  const KeyPair pair = newKeyPair();
  const std::string sealed = sealSecretKey(pair.secretKey, "office-secret");
  EXPECT_EQ(openSecretKey(sealed, "office-secret").value(), pair.secretKey);
  EXPECT_FALSE(openSecretKey(sealed, "office-secreT"));
  EXPECT_FALSE(openSecretKey(sealed.substr(0, sealed.size() - 2), "office-secret"));
}

TEST(ReportCode, PublicKeysReadBackFromTheirFile) {
  const KeyPair pair = newKeyPair();
  OfficeKey key = keyOf(pair);
  key.revoked = CalendarDate{2027, 1, 1};
  key.revokeReason = "更换";
  auto read = parsePublicKeys(publicKeysText({key}));
  ASSERT_TRUE(read) << read.message();
  ASSERT_EQ(read->size(), 1u);
  EXPECT_EQ(read->front().publicKey, pair.publicKey);
  EXPECT_EQ(read->front().revoked, key.revoked);
  // A key whose id does not match its public key is refused.
  std::string text = publicKeysText({key});
  text.replace(text.find(key.id), key.id.size(), "00000000");
  EXPECT_FALSE(parsePublicKeys(text));
}

// The README's test vector: the SHA-256 of the bundled sample's data.
TEST(ReportCode, DataHashOfTheSample) {
  const char* source = std::getenv("KRO_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  auto bytes = readWholeFile(pathFromUtf8(source) / "samples" / "sample.KRO", kMaxProjectFileSize);
  ASSERT_TRUE(bytes);
  auto loaded = loadProjectBytes("sample.KRO", bytes.value());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(canonicalDataSha256(loaded->project),
            "928eb3d430306fc2656f18a49efde6c65b9d8abdb4fe0ddb326048b757a5a806");
}

}  // namespace
}  // namespace kro
