// A real serial transfer: Qt Serial Port on a pseudo-terminal against the virtual instrument,
// end to end to the written file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <thread>

#include "devices/pty_instrument.h"
#include "devices/qt_serial_port.h"
#include "model/analysis_file.h"
#include "model/sample_project.h"
#include "support/recording_frontend.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"
#include "transfer/transfer_session.h"

namespace kro {
namespace {

class PtyTransferTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "pty_transfer_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) app = new QCoreApplication(argc, argv);
  }

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

  static QCoreApplication* app;
  test::TempDir dir;
  test::RecordingFrontend ui;
  std::unique_ptr<PtyInstrument> instrument;
  std::thread server;
  std::atomic<bool> stop{false};
};

QCoreApplication* PtyTransferTest::app = nullptr;

TEST_F(PtyTransferTest, SampleProjectArrivesWhole) {
  const std::vector<MemberRecord> members = makeSampleProject();
  serve(members, true);
  QtSerialPort port;
  TransferSession session(ui, &port, nullptr);
  session.setDestination(dir / "KRODat.KRO");
  ASSERT_TRUE(session.start({LinkKind::Serial, 0, instrument->portPath()}, {})) << ui.messages.back().text;
  // The instrument answers at once; once its bytes are in, the next tick ends the transfer.
  while (instrument->blocksSent() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(session.tick(), TransferState::Completed);

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
    EXPECT_EQ(b.passRate(), 0.0f);
  }
}

TEST_F(PtyTransferTest, PacedAt2400BaudAndTickedEvery200Ms) {
  // Two members of 20 readings: 8 + 2 x (14 + 40) = 116 bytes, about half a second at 2400 baud.
  const MemberRecord first = makeSampleProject()[0];
  const std::vector<MemberRecord> members = {first, first};
  serve(members, false);
  QtSerialPort port;
  TransferSession session(ui, &port, nullptr);
  session.setDestination(dir / "KRODat.KRO");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(session.start({LinkKind::Serial, 0, instrument->portPath()}, {}));
  int ticks = 0;
  while (session.tick() == TransferState::Running && ticks < 100) {
    ++ticks;
    std::this_thread::sleep_for(kTransferTick);
  }
  EXPECT_TRUE(session.completed()) << (ui.messages.empty() ? "" : ui.messages.back().text);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
  EXPECT_GE(ticks, 2);
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "KRODat.KRO")).value().size(), 2u);
}

TEST_F(PtyTransferTest, AMissingPortCannotBeOpened) {
  QtSerialPort port;
  TransferSession session(ui, &port, nullptr);
  session.setDestination(dir / "KRODat.KRO");
  EXPECT_FALSE(session.start({LinkKind::Serial, 0, "/dev/no-such-port"}, {}));
  EXPECT_EQ(ui.messages.back().text, kCannotOpenSerialPort);
}

}  // namespace
}  // namespace kro
