// A real serial transfer: the system's serial port on a pseudo-terminal against the virtual
// instrument, end to end to the written file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "devices/pty_instrument.h"
#include "model/analysis_file.h"
#include "model/sample_project.h"
#include "model/statistics.h"
#include "platform/serial_port.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"
#include "transfer/transfer_session.h"

namespace kro {
namespace {

class PtyTransferTest : public ::testing::Test {
 protected:
  // Serves members on a pseudo-terminal until the test ends.
  void serve(const std::vector<MemberRecord>& members, bool fast) {
    auto created = PtyInstrument::create(encodeSerialBlock(members).value(), fast);
    ASSERT_TRUE(created.ok()) << created.message();
    instrument = std::move(created.value());
    server = std::thread([this] { instrument->serve(stop); });
  }

  void TearDown() override {
    stop = true;
    if (server.joinable()) server.join();
  }

  test::TempDir dir;
  // The session's steps as a command takes them: an existing output replaced, notices kept.
  bool start(TransferSession& session, const std::string& port) {
    return take(session.start({LinkKind::Serial, 0, port}, {}, true)) == TransferState::Running;
  }
  TransferState tick(TransferSession& session) { return take(session.tick()); }
  TransferState take(const TransferStep& step) {
    if (step.notice) notices.push_back(step.notice->text);
    return step.state;
  }
  std::string lastNotice() const { return notices.empty() ? std::string() : notices.back(); }
  // Ticks a session every 200 ms until it stops running (at most about 30 s).
  TransferState runToEnd(TransferSession& session) {
    for (int i = 0; i < 150 && tick(session) == TransferState::Running; ++i) {
      std::this_thread::sleep_for(kTransferTick);
    }
    return session.state();
  }

  std::vector<std::string> notices;
  std::unique_ptr<PtyInstrument> instrument;
  std::thread server;
  std::atomic<bool> stop{false};
};

TEST_F(PtyTransferTest, SampleProjectArrivesWhole) {
  const std::vector<MemberRecord> members = makeSampleProject();
  serve(members, true);
  platform::SystemSerialPort port;
  TransferSession session(&port, nullptr);
  session.setDestination(dir / "KRODat.KRO");
  ASSERT_TRUE(start(session, instrument->portPath())) << lastNotice();
  EXPECT_EQ(runToEnd(session), TransferState::Completed);
  EXPECT_EQ(instrument->blocksSent(), 1);

  auto received = decodeAnalysisFile(test::readBytes(dir / "KRODat.KRO"));
  ASSERT_TRUE(received.ok());
  ASSERT_EQ(received.value().size(), members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    const MemberRecord& a = members[i];
    const MemberRecord& b = received.value()[i];
    EXPECT_EQ(b.code(), a.code());
    EXPECT_EQ(b.testDate(), a.testDate());
    EXPECT_EQ(b.designThickness(), a.designThickness());
    ASSERT_EQ(b.readingCount(), a.readingCount());
    for (int k = 0; k < a.readingCount(); ++k) EXPECT_EQ(b.readingAt(k), a.readingAt(k));
    EXPECT_EQ(b.minusDeviation(), 0);
    EXPECT_EQ(b.plusDeviation(), 0);
    // The figures are the received readings' (against the 0/0 band the instrument implies).
    EXPECT_EQ(b.storedStatistics(), recomputedStatistics(b));
  }
}

TEST_F(PtyTransferTest, PacedAt2400BaudAndTickedEvery200Ms) {
  // Two members of 20 readings: 8 + 2 x (14 + 40) = 116 bytes, about half a second at 2400 baud.
  const MemberRecord first = makeSampleProject()[0];
  const std::vector<MemberRecord> members = {first, first};
  serve(members, false);
  platform::SystemSerialPort port;
  TransferSession session(&port, nullptr);
  session.setDestination(dir / "KRODat.KRO");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(start(session, instrument->portPath()));
  int ticks = 0;
  while (tick(session) == TransferState::Running && ticks < 100) {
    ++ticks;
    std::this_thread::sleep_for(kTransferTick);
  }
  EXPECT_TRUE(session.completed()) << lastNotice();
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
  EXPECT_GE(ticks, 2);
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "KRODat.KRO")).value().size(), 2u);
}

TEST_F(PtyTransferTest, ARestartWhileTheInstrumentIsMidBlockNeverWritesInventedMembers) {
  // The first three sample members (62 readings) at 2400 baud: 174 bytes, about 0.7 s a block.
  const std::vector<MemberRecord> sample = makeSampleProject();
  const std::vector<MemberRecord> members = {sample[0], sample[1], sample[2]};
  serve(members, false);
  const std::string good = encodeMembers(members, MemberLayout::Analysis);
  for (int stopAfter : {20, 60, 110}) {
    SCOPED_TRACE(stopAfter);
    test::writeBytes(dir / "KRODat.KRO", good);
    platform::SystemSerialPort port;
    {
      TransferSession first(&port, nullptr);
      first.setDestination(dir / "other.KRO");
      ASSERT_TRUE(start(first, instrument->portPath()));
      for (int i = 0; i < 100 && first.progress().received < static_cast<std::size_t>(stopAfter); ++i) {
        first.tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      first.cancel();  // the instrument goes on sending the rest of its block
    }
    TransferSession second(&port, nullptr);
    second.setDestination(dir / "KRODat.KRO");
    ASSERT_TRUE(start(second, instrument->portPath()));
    EXPECT_EQ(test::readBytes(dir / "KRODat.KRO"), good);
    EXPECT_EQ(runToEnd(second), TransferState::Completed) << lastNotice();
    // Whatever happened, the file holds exactly the instrument's members.
    auto written = decodeAnalysisFile(test::readBytes(dir / "KRODat.KRO"));
    ASSERT_TRUE(written.ok());
    ASSERT_EQ(written.value().size(), members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
      EXPECT_EQ(written.value()[i].code(), members[i].code());
      EXPECT_EQ(written.value()[i].testDate(), members[i].testDate());
      EXPECT_EQ(written.value()[i].readings().size(), members[i].readings().size());
    }
  }
}

TEST_F(PtyTransferTest, AClosedLineEndsTheTransferAtOnce) {
  serve(makeSampleProject(), false);
  platform::SystemSerialPort port;
  TransferSession session(&port, nullptr);
  session.setDestination(dir / "KRODat.KRO");
  ASSERT_TRUE(start(session, instrument->portPath()));
  for (int i = 0; i < 100 && session.progress().received < 30; ++i) {
    tick(session);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_EQ(session.state(), TransferState::Running);
  // The instrument goes away: its side of the line closes.
  stop = true;
  server.join();
  instrument.reset();
  const auto closed = std::chrono::steady_clock::now();
  EXPECT_EQ(runToEnd(session), TransferState::Failed);
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));
  EXPECT_NE(lastNotice().find("已断开"), std::string::npos) << lastNotice();
  EXPECT_FALSE(std::filesystem::exists(dir / "KRODat.KRO"));
}

TEST_F(PtyTransferTest, APortInUseOrNotASerialPortIsRefusedWithItsReason) {
  serve(makeSampleProject(), true);
  platform::SystemSerialPort first;
  ASSERT_TRUE(first.open(instrument->portPath(), {}).ok());
  platform::SystemSerialPort second;
  EXPECT_EQ(second.open(instrument->portPath(), {}).message(), "端口正被另一个程序使用");
  first.close();
  EXPECT_TRUE(second.open(instrument->portPath(), {}).ok());  // free again once the first lets go

  std::ofstream(dir / "plain.txt") << "x";
  platform::SystemSerialPort file;
  EXPECT_EQ(file.open((dir / "plain.txt").string(), {}).message(), "这不是一个串口设备");
  EXPECT_FALSE(file.isOpen());
}

TEST_F(PtyTransferTest, AMissingPortCannotBeOpened) {
  platform::SystemSerialPort port;
  TransferSession session(&port, nullptr);
  session.setDestination(dir / "KRODat.KRO");
  EXPECT_FALSE(start(session, "/dev/no-such-port"));
  EXPECT_EQ(lastNotice(), "不能打开串口“/dev/no-such-port”：设备不存在（请检查连接线，或选择另一个端口）。");
}

}  // namespace
}  // namespace kro
