// The USB reader against the simulated instrument: block numbering, the header area, the end
// command, cancelling and restarting.
#include "transfer/usb_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devices/simulated_ch375.h"
#include "transfer/instrument_encoder.h"

namespace kro {
namespace {

using Blocks = std::vector<std::uint32_t>;

std::vector<MemberRecord> members(int count, int readingsEach) {
  MemberData d;
  d.code = "A001";
  d.testDate = "2008--05--12";
  d.designThickness = 120;
  d.readings.assign(static_cast<std::size_t>(readingsEach), Reading{0, 121, 0});
  return std::vector<MemberRecord>(static_cast<std::size_t>(count), MemberRecord(d));
}

std::string memoryFor(const std::vector<MemberRecord>& m) {
  return usbMemoryFromImage(encodeUsbImage(m).value());
}

// Runs the reader until it stops by itself.
void runToEnd(UsbLink& link) {
  for (int i = 0; i < 500 && link.readerActive(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_FALSE(link.readerActive());
  link.stop();
}

TEST(UsbLink, HeaderAreaSizes) {
  EXPECT_EQ(usbHeaderAreaSize(3), 64u);
  EXPECT_EQ(usbHeaderAreaSize(2), 48u);
  EXPECT_EQ(usbHeaderAreaSize(300), 4816u);
}

TEST(UsbLink, ThreeMembersAskForAnEmptyBlockOneThenJumpTo252) {
  const auto sent = members(3, 10);  // 60 bytes of readings: blocks 252 and 253 hold them
  SimulatedCh375 instrument(memoryFor(sent));
  TransferBuffer buffer;
  UsbLink link(instrument, buffer);
  ASSERT_TRUE(link.start(0).ok());
  runToEnd(link);
  EXPECT_EQ(instrument.requestedBlocks(), (Blocks{0, 1, 252}));
  EXPECT_TRUE(buffer.complete());
  EXPECT_EQ(buffer.progress().received, 64u + 64u);
  EXPECT_EQ(instrument.endCommands(), 1);
  EXPECT_FALSE(instrument.deviceOpen());
  EXPECT_EQ(instrument.openHandles(), 0);
  EXPECT_EQ(link.outcome(), UsbLink::Outcome::None);
}

TEST(UsbLink, TwoMembersKeepOnlyTheHeaderBytesOfBlockZero) {
  SimulatedCh375 instrument(memoryFor(members(2, 40)));  // 160 bytes of readings
  TransferBuffer buffer;
  UsbLink link(instrument, buffer);
  ASSERT_TRUE(link.start(0).ok());
  runToEnd(link);
  EXPECT_EQ(instrument.requestedBlocks(), (Blocks{0, 252, 253, 254}));
  EXPECT_EQ(buffer.progress().received, 48u + 3 * 64u);
  EXPECT_TRUE(buffer.complete());
}

TEST(UsbLink, ThreeHundredMembers) {
  SimulatedCh375 instrument(memoryFor(members(300, 5)));  // 3,000 bytes of readings
  TransferBuffer buffer;
  UsbLink link(instrument, buffer);
  ASSERT_TRUE(link.start(0).ok());
  runToEnd(link);
  Blocks expected;
  for (std::uint32_t b = 0; b <= 75; ++b) expected.push_back(b);
  for (std::uint32_t b = 252; b < 252 + 47; ++b) expected.push_back(b);  // 3,000 / 64 rounded up
  EXPECT_EQ(instrument.requestedBlocks(), expected);
  const std::string image = buffer.take();
  EXPECT_EQ(image.substr(0, 4816), encodeUsbImage(members(300, 5)).value().substr(0, 4816));
}

TEST(UsbLink, BlockNumbersGoOutBigEndian) {
  // Enough readings to reach block 256: 5 x 64 bytes of readings.
  SimulatedCh375 instrument(memoryFor(members(1, 160)));
  TransferBuffer buffer;
  UsbLink link(instrument, buffer);
  ASSERT_TRUE(link.start(0).ok());
  runToEnd(link);
  EXPECT_EQ(instrument.requestedBlocks(), (Blocks{0, 252, 253, 254, 255, 256}));
}

TEST(UsbLink, CancelInTheMiddleStopsTheReaderAndClosesTheDevice) {
  SimulatedCh375 instrument(memoryFor(members(300, 5)));
  instrument.stallAfterAnswers(10);
  TransferBuffer buffer;
  UsbLink link(instrument, buffer);
  ASSERT_TRUE(link.start(0).ok());
  while (instrument.requestedBlocks().size() < 11) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_TRUE(link.readerActive());
  const auto before = std::chrono::steady_clock::now();
  link.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before,
            std::chrono::milliseconds(400));  // aborted, not timed out
  EXPECT_FALSE(link.readerActive());
  EXPECT_FALSE(instrument.deviceOpen());
  EXPECT_EQ(instrument.openHandles(), 0);
  EXPECT_EQ(instrument.endCommands(), 1);
  EXPECT_FALSE(buffer.complete());
  EXPECT_EQ(link.outcome(), UsbLink::Outcome::None);  // a cancel is not a failure
}

TEST(UsbLink, StartingAgainStopsTheRunningReaderFirst) {
  SimulatedCh375 instrument(memoryFor(members(3, 10)));
  instrument.stallAfterAnswers(1);
  TransferBuffer buffer;
  UsbLink link(instrument, buffer);
  ASSERT_TRUE(link.start(0).ok());
  while (instrument.requestedBlocks().size() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(link.start(0).ok());
  // The first reader ended before the second began; the second waits on the stalled instrument.
  EXPECT_EQ(instrument.endCommands(), 1);
  instrument.stallAfterAnswers(-1);
  runToEnd(link);
  EXPECT_TRUE(buffer.complete());
  EXPECT_EQ(instrument.endCommands(), 2);
}

TEST(UsbLink, FailuresCloseWhatWasOpened) {
  SimulatedCh375 instrument(memoryFor(members(1, 1)));
  TransferBuffer buffer;
  UsbLink link(instrument, buffer);
  Status missing = link.start(3);
  EXPECT_NE(missing.message().find("没有找到 USB4"), std::string::npos);
  EXPECT_NE(missing.message().find("厂商 4348 或 1a86、产品 5537"), std::string::npos);

  instrument.failHandleOpen(true);
  Status handles = link.start(0);
  EXPECT_EQ(handles.message(), kUsbHandleFailed);
  EXPECT_FALSE(instrument.deviceOpen());
  EXPECT_EQ(instrument.openHandles(), 0);
}

TEST(UsbLink, ShortAnswersAddOnlyTheBytesRead) {
  SimulatedCh375 instrument(memoryFor(members(1, 1)));
  instrument.shortenAnswers(5);  // block 0 too short to hold the member count
  TransferBuffer buffer;
  UsbLink link(instrument, buffer);
  ASSERT_TRUE(link.start(0).ok());
  runToEnd(link);
  EXPECT_EQ(link.outcome(), UsbLink::Outcome::ReadFailed);
  EXPECT_EQ(buffer.progress().received, 0u);

  SimulatedCh375 slow(memoryFor(members(1, 40)));
  slow.shortenAnswers(20);
  UsbLink again(slow, buffer);
  ASSERT_TRUE(again.start(0).ok());
  runToEnd(again);
  // 20 bytes of block 0 (the whole 32-byte header area is not there), then 20 of each reading block.
  EXPECT_EQ(slow.requestedBlocks().front(), 0u);
  EXPECT_EQ(buffer.progress().received % 20, 0u);
}

}  // namespace
}  // namespace kro
