// End tests and decoding of both layouts, against hand-built byte fixtures.
#include "model/transfer_decoder.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// The 26-byte serial block of one member A001, 2008-05-12, design 120, readings 122 and 118.
const std::string kOneMemberBlock =
    bytes({0,    0,    0,    0,    0x00, 0x01, 0x00, 0x1A, 0x0A, 0x00, 0x00, 0x01, 0x08,
           0x05, 0x0C, 0x00, 0x78, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x7A, 0x00, 0x76});

std::vector<std::int32_t> thicknesses(const MemberRecord& m) {
  std::vector<std::int32_t> out;
  for (const Reading& r : m.readings()) out.push_back(r.thickness);
  return out;
}

TEST(TransferDecoder, SerialBlockExample) {
  for (std::size_t n = 0; n < kOneMemberBlock.size(); ++n) {
    EXPECT_FALSE(transferComplete(TransferLayout::Serial, kOneMemberBlock.substr(0, n))) << n;
  }
  EXPECT_TRUE(transferComplete(TransferLayout::Serial, kOneMemberBlock));
  EXPECT_EQ(expectedTransferSize(TransferLayout::Serial, kOneMemberBlock), 26u);

  auto decoded = decodeTransfer(TransferLayout::Serial, kOneMemberBlock);
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  ASSERT_EQ(decoded.value().members.size(), 1u);
  EXPECT_TRUE(decoded.value().warnings.empty());
  const MemberRecord& m = decoded.value().members[0];
  EXPECT_EQ(m.code(), "A001");
  EXPECT_EQ(m.testDate(),
            "2008\xC4\xEA"
            "05\xD4\xC2"
            "12\xC8\xD5");
  EXPECT_EQ(m.designThickness(), 120);
  EXPECT_EQ(thicknesses(m), (std::vector<std::int32_t>{122, 118}));
  EXPECT_EQ(m.maxThickness(), 122);
  EXPECT_EQ(m.minThickness(), 118);
  EXPECT_EQ(m.minusDeviation(), 0);
  EXPECT_EQ(m.plusDeviation(), 0);
  // Every figure is the readings' (the band is 0/0: neither passes).
  EXPECT_EQ(m.passRate(), 0.0f);
  EXPECT_EQ(m.passCount(), 0);
  EXPECT_EQ(m.selected(), 1);
  EXPECT_EQ(m.name(), "");
  EXPECT_EQ(m.averageThickness(), 120);
}

TEST(TransferDecoder, BytesAfterTheLengthAreRefusedUnlessTheFirstBlockIsAskedFor) {
  const std::string run = kOneMemberBlock + "\x01\x02\x03";
  auto refused = decodeTransfer(TransferLayout::Serial, run);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.message(), tooManyBytesMessage(3));
  auto decoded = decodeTransfer(TransferLayout::Serial, run, ExtraBytes::Ignore);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.value().members.size(), 1u);
  ASSERT_EQ(decoded.value().warnings.size(), 1u);
  EXPECT_NE(decoded.value().warnings[0].find("其后的 3 字节"), std::string::npos);
}

TEST(TransferDecoder, CodesDatesAndTheIgnoredPassRateByte) {
  EXPECT_EQ(memberCodeCharacter(0), '0');
  EXPECT_EQ(memberCodeCharacter(9), '9');
  EXPECT_EQ(memberCodeCharacter(10), 'A');
  EXPECT_EQ(memberCodeCharacter(35), 'Z');
  EXPECT_EQ(memberCodeCharacter(36), '0');
  EXPECT_EQ(memberCodeCharacter(255), '0');
  EXPECT_EQ(transferDateText(8, 5, 12),
            "2008\xC4\xEA"
            "05\xD4\xC2"
            "12\xC8\xD5");
  EXPECT_EQ(transferDateText(12, 11, 3),
            "2012\xC4\xEA"
            "11\xD4\xC2"
            "03\xC8\xD5");

  std::string block = kOneMemberBlock;
  block[8] = 36;       // code value 36 gives "0"
  block[11] = 35;      // and 35 gives "Z"
  block[8 + 13] = 95;  // a pass-rate byte no reading gives: the readings' rate is stored instead
  auto decoded = decodeTransfer(TransferLayout::Serial, block);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.value().members[0].code(), "000Z");
  EXPECT_EQ(decoded.value().members[0].passRate(), 0.0f);
}

TEST(TransferDecoder, SerialMembersFollowTheirReadings) {
  // Two members: the first with no readings, so the second header follows 14 bytes later;
  // readings 10, 30, 20.
  std::string block = bytes({0, 0, 0, 0, 0, 2, 0, 42});
  block += bytes({1, 2, 3, 4, 26, 1, 1, 0, 100, 0, 0, 0, 0, 7});
  block += bytes({5, 6, 7, 8, 26, 12, 31, 0, 20, 0, 3, 0, 0, 0});
  block += bytes({0, 10, 0, 30, 0, 20});
  ASSERT_EQ(block.size(), 42u);
  auto decoded = decodeTransfer(TransferLayout::Serial, block);
  ASSERT_TRUE(decoded.ok());
  ASSERT_EQ(decoded.value().members.size(), 2u);
  const MemberRecord& empty = decoded.value().members[0];
  EXPECT_EQ(empty.code(), "1234");
  EXPECT_EQ(empty.readingCount(), 0);
  EXPECT_EQ(empty.maxThickness(), 0);
  EXPECT_EQ(empty.minThickness(), 0);
  const MemberRecord& second = decoded.value().members[1];
  EXPECT_EQ(second.code(), "5678");
  EXPECT_EQ(second.testDate(),
            "2026\xC4\xEA"
            "12\xD4\xC2"
            "31\xC8\xD5");
  EXPECT_EQ(thicknesses(second), (std::vector<std::int32_t>{10, 30, 20}));
  EXPECT_EQ(second.maxThickness(), 30);
  EXPECT_EQ(second.minThickness(), 10);
}

// A two-member USB image: member 0 has two readings, member 1 three; the reading cursor runs
// on from member 0's last reading.
std::string twoMemberUsbImage() {
  std::string image = bytes({0, 0, 0, 0, 0, 2, 0, 0, 11, 0, 0, 0, 0, 0, 0, 0});
  image += bytes({10, 0, 0, 1, 9, 3, 4, 0, 120, 0, 2, 0, 0, 0, 0xEE, 0xEE});
  image += bytes({10, 0, 0, 2, 9, 3, 5, 0, 150, 0, 3, 0, 0, 0, 0xEE, 0xEE});
  image += bytes({0, 121, 0, 119, 0, 151, 0, 149, 0, 160});
  return image;
}

TEST(TransferDecoder, UsbImageWithARunningReadingCursor) {
  const std::string image = twoMemberUsbImage();
  // 16 x N + 15 + R = 32 + 15 + 11 = 58 bytes.
  ASSERT_EQ(image.size(), 58u);
  EXPECT_EQ(expectedTransferSize(TransferLayout::Usb, image), 58u);
  EXPECT_FALSE(transferComplete(TransferLayout::Usb, image.substr(0, 57)));
  EXPECT_TRUE(transferComplete(TransferLayout::Usb, image));
  EXPECT_FALSE(transferComplete(TransferLayout::Usb, image.substr(0, 8)));

  auto decoded = decodeTransfer(TransferLayout::Usb, image);
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  ASSERT_EQ(decoded.value().members.size(), 2u);
  EXPECT_EQ(decoded.value().members[0].code(), "A001");
  EXPECT_EQ(thicknesses(decoded.value().members[0]), (std::vector<std::int32_t>{121, 119}));
  EXPECT_EQ(decoded.value().members[1].code(), "A002");
  EXPECT_EQ(decoded.value().members[1].designThickness(), 150);
  EXPECT_EQ(thicknesses(decoded.value().members[1]), (std::vector<std::int32_t>{151, 149, 160}));
  EXPECT_EQ(decoded.value().members[1].minThickness(), 149);
}

// R counts the reading area (2 x sum of n = 10) or one more (11); anything else is refused.
TEST(TransferDecoder, UsbLengthTermEitherWay) {
  for (unsigned char r : {10, 11}) {
    std::string image = twoMemberUsbImage();
    image[8] = static_cast<char>(r);
    EXPECT_EQ(expectedTransferSize(TransferLayout::Usb, image), 58u);
    EXPECT_FALSE(transferComplete(TransferLayout::Usb, image.substr(0, 57))) << int{r};
    auto decoded = decodeTransfer(TransferLayout::Usb, image + std::string(6, '\xFF'));  // block padding
    ASSERT_TRUE(decoded.ok()) << decoded.message();
    EXPECT_EQ(thicknesses(decoded.value().members[1]), (std::vector<std::int32_t>{151, 149, 160}));
  }
  for (unsigned char r : {9, 12, 200}) {
    std::string image = twoMemberUsbImage() + std::string(200, '\0');
    image[8] = static_cast<char>(r);
    EXPECT_FALSE(decodeTransfer(TransferLayout::Usb, image).ok()) << int{r};
  }
}

TEST(TransferDecoder, NoMembers) {
  std::string empty = bytes({0, 0, 0, 0, 0, 0, 0, 8});
  auto decoded = decodeTransfer(TransferLayout::Serial, empty);
  ASSERT_FALSE(decoded.ok());
  EXPECT_EQ(decoded.message(), kNoDataMessage);
  EXPECT_FALSE(decodeTransfer(TransferLayout::Usb, "").ok());
}

TEST(TransferDecoder, AnIncompleteOrMisframedBlockIsRefusedWhole) {
  // The image states three members but holds readings for the first only.
  std::string image = twoMemberUsbImage();
  image[5] = 3;
  image.resize(16 * 4 + 4);
  auto usb = decodeTransfer(TransferLayout::Usb, image);
  ASSERT_FALSE(usb.ok());
  EXPECT_NE(usb.message().find("已收到 68 字节"), std::string::npos) << usb.message();

  // Cut inside its only member's readings, or inside the header.
  for (std::size_t n : {24u, 12u, 8u}) {
    auto cut = decodeTransfer(TransferLayout::Serial, kOneMemberBlock.substr(0, n));
    ASSERT_FALSE(cut.ok()) << n;
    EXPECT_NE(cut.message().find("已收到 " + std::to_string(n) + " 字节"), std::string::npos)
        << cut.message();
  }

  // Member sizes that do not add up to the stated length, either way: a length one byte too
  // long (padding) or too short (the last reading outside the block).
  for (int length : {27, 25}) {
    std::string block = kOneMemberBlock + std::string(1, '\0');
    block[7] = static_cast<char>(length);
    EXPECT_TRUE(transferComplete(TransferLayout::Serial, block));
    auto refused = decodeTransfer(TransferLayout::Serial, block);
    ASSERT_FALSE(refused.ok()) << length;
    EXPECT_NE(refused.message().find("不符"), std::string::npos) << refused.message();
  }
  // A USB reading term that does not match the readings the headers count.
  std::string usbImage = twoMemberUsbImage() + std::string(2, '\0');
  usbImage[8] = 13;
  EXPECT_FALSE(decodeTransfer(TransferLayout::Usb, usbImage).ok());
}

TEST(TransferDecoder, TheTailOfAnEarlierBlockIsNeverTakenForMembers) {
  // Every suffix of two blocks back to back, as a transfer restarted while the instrument was
  // still sending would see them: each either decodes to whole members of a real block or is
  // refused; no member is ever invented.
  std::string second = kOneMemberBlock;
  second[8 + 3] = 2;  // code A002
  const std::string stream = kOneMemberBlock + second;
  for (std::size_t start = 0; start < stream.size(); ++start) {
    auto decoded = decodeTransfer(TransferLayout::Serial, stream.substr(start));
    if (!decoded.ok()) continue;
    EXPECT_TRUE(start == 0 || start == kOneMemberBlock.size()) << start;
    ASSERT_EQ(decoded.value().members.size(), 1u);
    EXPECT_EQ(decoded.value().members[0].code(), start == 0 ? "A001" : "A002");
  }
}

TEST(TransferDecoder, ImplausibleDatesAndDesignsAreKeptAndNamed) {
  std::string block = kOneMemberBlock;
  block[8 + 5] = 13;  // month 13
  block[8 + 6] = 50;  // day 50
  block[8 + 7] = 0x77;
  block[8 + 8] = 0x00;  // design 30464
  auto decoded = decodeTransfer(TransferLayout::Serial, block);
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  ASSERT_EQ(decoded.value().members.size(), 1u);
  ASSERT_EQ(decoded.value().warnings.size(), 1u);
  const std::string& warning = decoded.value().warnings[0];
  EXPECT_NE(warning.find("第 1 个构件 A001"), std::string::npos) << warning;
  EXPECT_NE(warning.find("月份 13"), std::string::npos);
  EXPECT_NE(warning.find("日 50"), std::string::npos);
  EXPECT_NE(warning.find("设计厚度 30464"), std::string::npos);

  block = kOneMemberBlock;
  block[8 + 8] = 0;
  block[8 + 7] = 0;  // design 0
  block[8 + 6] = 31;
  block[8 + 5] = 12;
  decoded = decodeTransfer(TransferLayout::Serial, block);
  ASSERT_TRUE(decoded.ok());
  ASSERT_EQ(decoded.value().warnings.size(), 1u);
  EXPECT_EQ(decoded.value().warnings[0].find("月份"), std::string::npos);
  EXPECT_NE(decoded.value().warnings[0].find("设计厚度 0"), std::string::npos);
}

}  // namespace
}  // namespace kro
