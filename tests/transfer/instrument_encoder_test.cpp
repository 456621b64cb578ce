// The virtual instrument's encoder: the inverse of the decoder, and what it refuses.
#include "transfer/instrument_encoder.h"

#include <gtest/gtest.h>

#include "model/sample_project.h"
#include "model/transfer_decoder.h"

namespace kro {
namespace {

MemberRecord member(const std::string& code, const std::string& date, std::int32_t design,
                    std::vector<std::int32_t> readings) {
  MemberData d;
  d.code = code;
  d.testDate = date;
  d.designThickness = design;
  for (std::int32_t t : readings) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

// Every field the instrument carries comes back.
void expectCarried(const std::vector<MemberRecord>& sent, const std::vector<MemberRecord>& received) {
  ASSERT_EQ(sent.size(), received.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(received[i].code(), sent[i].code());
    EXPECT_EQ(received[i].testDate(), sent[i].testDate());
    EXPECT_EQ(received[i].designThickness(), sent[i].designThickness());
    ASSERT_EQ(received[i].readingCount(), sent[i].readingCount());
    for (int k = 0; k < sent[i].readingCount(); ++k)
      EXPECT_EQ(received[i].readingAt(k), sent[i].readingAt(k));
    EXPECT_EQ(received[i].minusDeviation(), 0);
    EXPECT_EQ(received[i].plusDeviation(), 0);
  }
}

TEST(InstrumentEncoder, BothLayoutsDecodeToTheSameMembers) {
  const std::vector<MemberRecord> members = makeSampleProject();
  auto block = encodeSerialBlock(members);
  ASSERT_TRUE(block.ok()) << block.message();
  EXPECT_TRUE(transferComplete(TransferLayout::Serial, block.value()));
  EXPECT_FALSE(transferComplete(TransferLayout::Serial, block.value().substr(0, block.value().size() - 1)));
  expectCarried(members, decodeTransfer(TransferLayout::Serial, block.value()).value().members);

  auto image = encodeUsbImage(members);
  ASSERT_TRUE(image.ok()) << image.message();
  EXPECT_TRUE(transferComplete(TransferLayout::Usb, image.value()));
  EXPECT_FALSE(transferComplete(TransferLayout::Usb, image.value().substr(0, image.value().size() - 1)));
  expectCarried(members, decodeTransfer(TransferLayout::Usb, image.value()).value().members);
}

TEST(InstrumentEncoder, ReadsEveryStoredDateForm) {
  std::vector<MemberRecord> members = {member("0001", "2026--12--07", 20, {20}),
                                       member("0002", "2026\xC4\xEA 1\xD4\xC2 7\xC8\xD5", 20, {20})};
  auto decoded = decodeTransfer(TransferLayout::Serial, encodeSerialBlock(members).value());
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(decoded.value().members[0].testDate(),
            "2026\xC4\xEA"
            "12\xD4\xC2"
            "07\xC8\xD5");
  EXPECT_EQ(decoded.value().members[1].testDate(),
            "2026\xC4\xEA"
            "01\xD4\xC2"
            "07\xC8\xD5");
}

TEST(InstrumentEncoder, RefusesWhatTheInstrumentCannotCarry) {
  const std::string date = "2008--05--12";
  EXPECT_FALSE(encodeSerialBlock({member("A01", date, 100, {})}).ok());
  EXPECT_FALSE(encodeSerialBlock({member("a001", date, 100, {})}).ok());
  EXPECT_FALSE(encodeSerialBlock({member("A-01", date, 100, {})}).ok());
  EXPECT_FALSE(encodeSerialBlock({member("A001", date, 65536, {})}).ok());
  EXPECT_FALSE(encodeSerialBlock({member("A001", date, -1, {})}).ok());
  EXPECT_FALSE(encodeSerialBlock({member("A001", date, 100, {65536})}).ok());
  EXPECT_FALSE(encodeSerialBlock({member("A001", date, 100, {-1})}).ok());
  EXPECT_FALSE(encodeSerialBlock({member("A001", "", 100, {1})}).ok());
  EXPECT_FALSE(encodeSerialBlock({member("A001", "1999--05--12", 100, {1})}).ok());
  EXPECT_TRUE(encodeSerialBlock({member("A001", date, 65535, {0, 65535})}).ok());

  // Serial blocks stop at 65,535 bytes: 8 + 14 + 2 x 32,757 = 65,536.
  std::vector<std::int32_t> many(32757, 100);
  EXPECT_FALSE(encodeSerialBlock({member("A001", date, 100, many)}).ok());
  many.pop_back();
  EXPECT_TRUE(encodeSerialBlock({member("A001", date, 100, many)}).ok());

  // USB images hold at most 1,007 member headers before block 252.
  std::vector<MemberRecord> members(1007, member("A001", date, 100, {100}));
  EXPECT_TRUE(encodeUsbImage(members).ok());
  members.push_back(member("A001", date, 100, {100}));
  EXPECT_FALSE(encodeUsbImage(members).ok());
}

TEST(InstrumentEncoder, UsbMemoryPutsTheReadingsAtBlock252) {
  const std::string image = encodeUsbImage({member("A001", "2008--05--12", 100, {0x1234})}).value();
  const std::string memory = usbMemoryFromImage(image);
  ASSERT_EQ(memory.size(), 252u * 64 + 2);
  EXPECT_EQ(memory.substr(0, 32), image.substr(0, 32));
  EXPECT_EQ(memory.substr(252 * 64), "\x12\x34");
}

}  // namespace
}  // namespace kro
