// The transfer session's rules: destination, overwrite, completion only after the file is in
// place, failures, cancel and restart, for both links.
#include "transfer/transfer_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <thread>

#include "devices/simulated_ch375.h"
#include "model/analysis_file.h"
#include "model/sample_project.h"
#include "support/fake_serial_port.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"
#include "transfer/received_data.h"

namespace kro {
namespace {

std::vector<std::int32_t> thicknesses(const MemberRecord& m) {
  std::vector<std::int32_t> out;
  for (int j = 0; j < m.readingCount(); ++j) out.push_back(m.readingAt(j));
  return out;
}

// The session's clock in these tests: time moves only when a test says so.
std::chrono::steady_clock::time_point fakeNow;
std::chrono::steady_clock::time_point fakeClock() { return fakeNow; }

class TransferSessionTest : public ::testing::Test {
 protected:
  TransferSessionTest()
      : block(encodeSerialBlock(makeSampleProject()).value()),
        instrument(usbMemoryFromImage(encodeUsbImage(makeSampleProject()).value())),
        session(&port, &instrument) {
    session.setDestination(dest());
    session.setClock(&fakeClock);
  }

  // The session's steps as a caller takes them: notices recorded, questions recorded and
  // answered from the queue (no answer left: no).
  void take(TransferStep& step) {
    if (step.notice) notices.push_back(*step.notice);
    if (step.state != TransferState::Asking) return;
    questions.push_back(step.question);
    step = session.answerFirstBlock(answer());
    take(step);
  }
  bool answer() {
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  bool start(const LinkChoice& link, const std::filesystem::path& opened) {
    TransferStep step = session.start(link, opened);
    if (step.state == TransferState::Idle && !step.question.empty()) {
      questions.push_back(step.question);
      if (!answer()) return false;
      step = session.start(link, opened, true);
    }
    take(step);
    return step.state == TransferState::Running;
  }
  TransferState tick() {
    TransferStep step = session.tick();
    take(step);
    return step.state;
  }

  // Starts a serial transfer on a silent line: the start command goes out once the line has
  // been quiet for the drain time.
  bool startSerial() {
    if (!start(serial(), {})) return false;
    EXPECT_TRUE(session.draining());
    EXPECT_EQ(port.written, "");
    fakeNow += kDrainSilence;
    EXPECT_EQ(tick(), TransferState::Running);
    EXPECT_FALSE(session.draining());
    return port.written == kStartCommand;
  }

  // Bytes arrive on one tick; the next finds the line silent for the end time.
  TransferState arriveThenSilence(const std::string& bytes) {
    port.incoming = bytes;
    const TransferState state = tick();
    if (state != TransferState::Running) return state;
    fakeNow += kEndSilence;
    return tick();
  }

  std::filesystem::path dest() const { return dir / "KRODat.KRO"; }

  LinkChoice serial() const { return {LinkKind::Serial, 0, "COM1"}; }
  LinkChoice usb() const { return {LinkKind::Usb, 0, ""}; }

  // Ticks until the session stops running (USB bytes arrive on their own thread).
  TransferState runToEnd() {
    for (int i = 0; i < 1000; ++i) {
      TransferState state = tick();
      if (state != TransferState::Running) return state;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return session.state();
  }

  test::TempDir dir;
  std::vector<TransferNotice> notices;
  std::vector<std::string> questions;
  std::deque<bool> answers;
  test::FakeSerialPort port;
  std::string block;
  SimulatedCh375 instrument;
  TransferSession session;
};

TEST_F(TransferSessionTest, DefaultDestinationAndFolderChoice) {
  TransferSession fresh(nullptr, nullptr);
  EXPECT_EQ(fresh.destination().filename(), "KRODat.KRO");
  fresh.chooseFolder("/data");
  EXPECT_EQ(fresh.destination(), std::filesystem::path("/data/KRODat.KRO"));
  fresh.chooseFolder("/");
  EXPECT_EQ(fresh.destination(), std::filesystem::path("/KRODat.KRO"));
}

TEST_F(TransferSessionTest, SerialTransferCompletesWhenTheLineFallsSilentAfterTheBlock) {
  ASSERT_TRUE(startSerial());
  port.incoming = block.substr(0, 100);
  EXPECT_EQ(tick(), TransferState::Running);
  EXPECT_EQ(session.progress().received, 100u);
  EXPECT_EQ(session.progress().expected, block.size());
  fakeNow += kEndSilence;
  EXPECT_EQ(tick(), TransferState::Running);  // silent, but short of the block
  port.incoming = block.substr(100);
  EXPECT_EQ(tick(), TransferState::Running);  // the block is in; the line may go on
  fakeNow += kEndSilence - std::chrono::milliseconds(1);
  EXPECT_EQ(tick(), TransferState::Running);
  fakeNow += std::chrono::milliseconds(1);
  EXPECT_EQ(tick(), TransferState::Completed);
  EXPECT_TRUE(session.completed());
  EXPECT_FALSE(port.isOpen());
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text.rfind(std::string(kTransferDoneMessage) + "\n收到 12 个构件、234 个测点。\n", 0),
            0u)
      << notices[0].text;
  auto written = decodeAnalysisFile(test::readBytes(dest()));
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(written.value().size(), 12u);
  EXPECT_EQ(session.progress().received, block.size());
  // The bytes as received, kept read-only beside the file.
  const std::filesystem::path kept = session.receivedBytesFile();
  EXPECT_EQ(kept.parent_path(), dir / pathFromUtf8("原始数据"));
  EXPECT_EQ(kept.extension(), ".serial");
  EXPECT_EQ(test::readBytes(kept), block);
  EXPECT_EQ(std::filesystem::status(kept).permissions() & std::filesystem::perms::owner_write,
            std::filesystem::perms::none);
  EXPECT_NE(notices[0].text.find(kept.filename().string()), std::string::npos);
}

TEST_F(TransferSessionTest, UsbTransferCompletes) {
  ASSERT_TRUE(start(usb(), {}));
  EXPECT_EQ(runToEnd(), TransferState::Completed);
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dest())).value().size(), 12u);
  EXPECT_EQ(session.receivedBytesFile().extension(), ".usb");
  // The chip's last block runs past the data; the count shown stops at the data's end.
  EXPECT_EQ(session.progress().received, session.progress().expected);
  auto again = loadProject(session.receivedBytesFile());
  ASSERT_TRUE(again.ok()) << again.message();
  EXPECT_EQ(again.value().project.members, decodeAnalysisFile(test::readBytes(dest())).value());
  EXPECT_EQ(instrument.endCommands(), 1);
  EXPECT_FALSE(instrument.deviceOpen());
}

TEST_F(TransferSessionTest, RefusesTheOpenDocumentsFile) {
  EXPECT_FALSE(start(serial(), dest()));  // refused even though it does not exist
  EXPECT_FALSE(start(serial(), dir / "." / "KRODat.KRO"));
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].text, kFileIsOpenMessage);
  EXPECT_TRUE(port.opens.empty());
}

TEST_F(TransferSessionTest, OverwriteIsAskedAndTheOldFileStaysUntilTheNewOneIsComplete) {
  test::writeBytes(dest(), "old");
  answers = {false};
  EXPECT_FALSE(start(serial(), {}));
  EXPECT_EQ(questions, (std::vector<std::string>{std::string(kOverwriteQuestion)}));
  EXPECT_TRUE(port.opens.empty());

  answers = {true};
  ASSERT_TRUE(startSerial());
  EXPECT_EQ(test::readBytes(dest()), "old");  // nothing deleted up front
  port.incoming = block.substr(0, 50);
  tick();
  session.cancel();
  EXPECT_EQ(test::readBytes(dest()), "old");  // a cancelled transfer leaves the old file
  EXPECT_FALSE(session.completed());
}

TEST_F(TransferSessionTest, NoMembersIsNotACompletion) {
  ASSERT_TRUE(startSerial());
  EXPECT_EQ(arriveThenSilence(std::string("\0\0\0\0\0\0\0\x08", 8)), TransferState::Failed);
  EXPECT_FALSE(session.completed());
  EXPECT_FALSE(std::filesystem::exists(dest()));
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text, kNoDataMessage);
}

TEST_F(TransferSessionTest, AnUnwritableFileIsAFailure) {
  session.setDestination(dir / "missing" / "KRODat.KRO");
  ASSERT_TRUE(startSerial());
  EXPECT_EQ(arriveThenSilence(block), TransferState::Failed);
  EXPECT_FALSE(session.completed());
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].kind, MessageKind::Error);
  EXPECT_NE(notices[0].text, kTransferDoneMessage);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));  // nothing made on the way
}

TEST_F(TransferSessionTest, BytesOfACancelledTransferAreDiscarded) {
  ASSERT_TRUE(startSerial());
  port.incoming = "garbage!";
  tick();
  session.cancel();
  EXPECT_FALSE(port.isOpen());
  port.written.clear();
  ASSERT_TRUE(startSerial());
  EXPECT_EQ(arriveThenSilence(block), TransferState::Completed);
  EXPECT_EQ(session.progress().received, block.size());
}

TEST_F(TransferSessionTest, StartingAgainWhileUsbRunsStopsTheReaderFirst) {
  instrument.stallAfterAnswers(3);
  ASSERT_TRUE(start(usb(), {}));
  while (instrument.requestedBlocks().size() < 4) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  // Switch to the serial link while the reader waits: it is stopped and joined, the device closed.
  ASSERT_TRUE(startSerial());
  EXPECT_FALSE(instrument.deviceOpen());
  EXPECT_EQ(instrument.endCommands(), 1);
  EXPECT_EQ(arriveThenSilence(block), TransferState::Completed);
}

TEST_F(TransferSessionTest, LinkFailuresAreReported) {
  port.refuseOpen = true;
  EXPECT_FALSE(start(serial(), {}));
  EXPECT_EQ(notices.back().text.rfind("不能打开串口“", 0), 0u);
  EXPECT_FALSE(start({LinkKind::Usb, 4, ""}, {}));
  EXPECT_EQ(notices.back().text.rfind(std::string(kUsbOpenFailed) + "没有找到 USB5，", 0), 0u);

  instrument.shortenAnswers(3);
  ASSERT_TRUE(start(usb(), {}));
  EXPECT_EQ(runToEnd(), TransferState::Failed);
  EXPECT_EQ(notices.back().text, kUsbReadFailed);
  EXPECT_FALSE(instrument.deviceOpen());
}

TEST_F(TransferSessionTest, SilenceIsMeasuredFromTheLastByte) {
  ASSERT_TRUE(startSerial());
  fakeNow += std::chrono::milliseconds(30);
  tick();
  EXPECT_EQ(session.silentFor(), std::chrono::milliseconds(30));
  port.incoming = "abc";
  tick();
  EXPECT_EQ(session.silentFor(), std::chrono::milliseconds(0));
}

TEST_F(TransferSessionTest, TheLineIsDrainedUntilSilentBeforeTheStartCommand) {
  // The instrument is still sending the tail of an earlier block when the transfer starts.
  ASSERT_TRUE(start(serial(), {}));
  for (int i = 0; i < 10; ++i) {
    port.incoming = block.substr(40 + 10 * i, 10);
    fakeNow += kTransferTick;
    EXPECT_EQ(tick(), TransferState::Running);
    EXPECT_TRUE(session.draining());
  }
  EXPECT_EQ(port.written, "");
  fakeNow += kDrainSilence - std::chrono::milliseconds(1);
  tick();
  EXPECT_TRUE(session.draining());
  fakeNow += std::chrono::milliseconds(1);
  tick();
  EXPECT_FALSE(session.draining());
  EXPECT_EQ(port.written, kStartCommand);
  EXPECT_EQ(session.progress().received, 0u);  // the drained bytes are not part of the transfer
  EXPECT_EQ(arriveThenSilence(block), TransferState::Completed);
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dest())).value().size(), 12u);
}

TEST_F(TransferSessionTest, ALineThatNeverFallsSilentEndsTheTransferAfterTheDrainLimit) {
  ASSERT_TRUE(start(serial(), {}));
  const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(kDrainLimit);
  for (auto t = std::chrono::milliseconds(0); t < limit; t += kTransferTick) {
    port.incoming = "x";
    ASSERT_EQ(tick(), TransferState::Running);
    fakeNow += kTransferTick;
  }
  port.incoming = "x";
  EXPECT_EQ(tick(), TransferState::Failed);
  EXPECT_EQ(port.written, "");
  EXPECT_FALSE(port.isOpen());
  EXPECT_NE(notices.back().text.find("10 分钟"), std::string::npos);
}

// A line that goes on sending after its block, or sends its block too slowly, is never silent
// long enough to end the transfer: the time limit does, past twice the time the stated length
// takes plus the limit. What came after a complete block is refused as extra bytes and kept.
TEST_F(TransferSessionTest, ALineThatKeepsSendingEndsTheTransferAtItsTimeLimit) {
  session.setTimeLimit(std::chrono::seconds(60));
  const auto limit =
      2 * std::chrono::seconds(block.size() / kLineBytesPerSecond + 1) + std::chrono::seconds(60);
  for (const bool whole : {true, false}) {
    ASSERT_TRUE(startSerial());
    port.incoming = whole ? block : block.substr(0, block.size() / 2);
    ASSERT_EQ(tick(), TransferState::Running);
    auto elapsed = std::chrono::steady_clock::duration::zero();
    for (; elapsed + kTransferTick < limit; elapsed += kTransferTick) {
      fakeNow += kTransferTick;
      port.incoming = whole ? "x" : "";  // never silent after the block; or the rest never comes
      ASSERT_EQ(tick(), TransferState::Running) << whole;
    }
    fakeNow += kTransferTick;
    EXPECT_EQ(tick(), TransferState::Failed);
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(std::filesystem::exists(dest()));
    const std::string& message = notices.back().text;
    EXPECT_EQ(message.rfind(std::string(kKeepsSendingMessage), 0), 0u) << message;
    if (whole) {
      EXPECT_NE(message.find("收齐后仍未停止"), std::string::npos) << message;
      EXPECT_NE(message.find("仪器发送的数据比声明的多"), std::string::npos) << message;
    } else {
      EXPECT_NE(message.find("没有送完声明的"), std::string::npos) << message;
    }
    port.written.clear();
  }
}

TEST_F(TransferSessionTest, ADroppedPortEndsTheTransferAtOnce) {
  ASSERT_TRUE(startSerial());
  port.incoming = block.substr(0, 30);
  tick();
  port.failureReason = "设备已断开或不再可用";
  EXPECT_EQ(tick(), TransferState::Failed);
  EXPECT_FALSE(std::filesystem::exists(dest()));
  EXPECT_NE(notices.back().text.find("COM1 已断开"), std::string::npos) << notices.back().text;

  // Also while draining.
  port.failureReason.clear();
  ASSERT_TRUE(start(serial(), {}));
  port.failureReason = "设备已断开或不再可用";
  EXPECT_EQ(tick(), TransferState::Failed);
}

TEST_F(TransferSessionTest, AMisframedBlockIsRefusedAndTheOldFileKept) {
  test::writeBytes(dest(), "old");
  answers = {true};
  ASSERT_TRUE(startSerial());
  // A block from its 20th byte on, followed by a whole block: what a restart without draining
  // would have read.
  EXPECT_NE(arriveThenSilence(block.substr(20) + block), TransferState::Completed);
  session.cancel();
  EXPECT_EQ(test::readBytes(dest()), "old");
}

// An instrument that restarts its block, or a line that adds a byte, delivers a run whose sizes
// may still add up: whatever the offset, the transfer completes only with the true readings.
TEST_F(TransferSessionTest, ARunLongerThanItsBlockNeverCompletesWithOtherReadings) {
  const Project truth = makeSampleProject();
  const std::string small =
      encodeSerialBlock(std::vector<MemberRecord>(truth.members.begin(), truth.members.begin() + 2)).value();
  std::vector<std::string> runs;
  for (std::size_t at = 1; at < small.size(); ++at) {
    runs.push_back(small.substr(0, at) + small);                                      // restarted
    runs.push_back(small.substr(0, at) + std::string(1, '\x7f') + small.substr(at));  // one byte added
  }
  for (const std::string& run : runs) {
    std::filesystem::remove(dest());
    port.written.clear();
    ASSERT_TRUE(startSerial());
    port.incoming = run.substr(0, run.size() / 2);
    tick();
    fakeNow += std::chrono::milliseconds(200);  // a pause, shorter than the end silence
    const TransferState state = arriveThenSilence(run.substr(run.size() / 2));
    if (state == TransferState::Completed) {
      auto written = decodeAnalysisFile(test::readBytes(dest()));
      ASSERT_TRUE(written.ok());
      ASSERT_EQ(written.value().size(), 2u);
      for (int m = 0; m < 2; ++m) {
        EXPECT_EQ(thicknesses(written.value()[m]), thicknesses(truth.members[m])) << run.size();
      }
    } else {
      EXPECT_FALSE(std::filesystem::exists(dest()));
    }
  }
  // Refused outright, the message names the extra bytes and the way to the first block.
  EXPECT_NE(notices.back().text.find("仪器发送的数据比声明的多"), std::string::npos);
  EXPECT_NE(notices.back().text.find("--first-block"), std::string::npos) << notices.back().text;
}

TEST_F(TransferSessionTest, TheFirstBlockOfALongerRunIsTakenOnlyWhenTheUserAgrees) {
  session.offerFirstBlock(true);
  answers = {false};
  ASSERT_TRUE(startSerial());
  EXPECT_EQ(arriveThenSilence(block + "x"), TransferState::Failed);
  EXPECT_FALSE(std::filesystem::exists(dest()));
  EXPECT_EQ(test::readBytes(session.receivedBytesFile()), block + "x");  // kept for a look

  answers = {true};
  port.written.clear();
  ASSERT_TRUE(startSerial());
  EXPECT_EQ(arriveThenSilence(block + "x"), TransferState::Completed);
  const auto written = decodeAnalysisFile(test::readBytes(dest())).value();
  ASSERT_EQ(written.size(), 12u);
  EXPECT_EQ(thicknesses(written[11]), thicknesses(makeSampleProject()[11]));
  EXPECT_NE(notices.back().text.find("其后的 1 字节没有使用"), std::string::npos);
}

}  // namespace
}  // namespace kro
