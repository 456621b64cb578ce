// One transfer from the instrument to an analysis file, without any window: the destination,
// the refusal to overwrite the open document's file, the overwrite question, starting either
// link, the 200 ms tick, completion, cancel, and the completed flag with the path.
//
// The thread that drives the session calls tick() every 200 ms (a window timer, or a loop in
// the command line). Serial bytes are read there; USB bytes arrive from the reader thread
// through the shared buffer. Decoding and writing the file happen in tick(). The transfer is
// completed only once the new file has replaced the old one. The session talks to nobody: each
// step returns what its caller shows (a notice) and asks (a question), and the answer is the
// caller's next call.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "model/document_frontend.h"  // MessageKind
#include "model/project.h"
#include "transfer/serial_link.h"
#include "transfer/transfer_buffer.h"
#include "transfer/usb_link.h"

namespace kro {

enum class LinkKind { Usb, Serial };

struct LinkChoice {
  LinkKind kind = LinkKind::Usb;
  unsigned usbIndex = 0;   // USB1 is 0
  std::string serialPort;  // "COM1".."COM6" or a device path
};

// Asking: the bytes are in, and the transfer waits for the answer to its question.
enum class TransferState { Idle, Running, Asking, Completed, Failed };

struct TransferNotice {
  MessageKind kind = MessageKind::Information;
  std::string text;
};

// What one step of a session leaves to its caller: the state after it, a notice to show (once),
// and a question to ask: after start() (state Idle) whether to replace the destination, to be
// answered by starting again with replace set; while Asking, whether to decode the first block
// of a longer run, answered by answerFirstBlock().
struct TransferStep {
  TransferState state = TransferState::Idle;
  std::optional<TransferNotice> notice;
  std::string question;
};

inline constexpr std::string_view kDefaultTransferFileName = "KRODat.KRO";
inline constexpr std::string_view kFileIsOpenMessage = "该文件已经打开，请先关闭文件，然后进行传输!";
inline constexpr std::string_view kOverwriteQuestion = "数据文件已存在，确认要覆盖吗？";
inline constexpr std::chrono::milliseconds kTransferTick{200};
// Before the start command the serial line is read and discarded until it has been silent this
// long, so the tail of a block the instrument is still sending is never taken for a new one.
inline constexpr std::chrono::milliseconds kDrainSilence{500};
inline constexpr std::chrono::minutes kDrainLimit{10};
inline constexpr std::string_view kDrainingMessage = "正在等待仪器停止发送";
// A serial run is complete once its stated length is in and the line has then been silent this
// long, so that a block the instrument restarted, or a byte the line added, shows as extra bytes.
inline constexpr std::chrono::milliseconds kEndSilence{500};
// What the serial line carries at 2400 baud 8N1, for the time a stated length takes.
inline constexpr std::uint64_t kLineBytesPerSecond = 240;
inline constexpr std::string_view kKeepsSendingMessage = "仪器一直在发送数据";

class TransferSession {
 public:
  // Either device may be missing (no backend); starting that link then fails with its message.
  TransferSession(SerialPort* serialPort, Ch375Library* usbLibrary);
  ~TransferSession();
  TransferSession(const TransferSession&) = delete;
  TransferSession& operator=(const TransferSession&) = delete;

  const std::filesystem::path& destination() const { return destination_; }
  // The parameters the written file carries (the office's defaults: the instrument sends none).
  void setParameters(ProjectParameters parameters) { parameters_ = std::move(parameters); }
  // Who begins the written project's modification log (by default the system account).
  void setRecorder(Recorder recorder) { recorder_ = std::move(recorder); }
  void setDestination(std::filesystem::path path) { destination_ = std::move(path); }
  // The destination becomes folder + "/KRODat.KRO".
  void chooseFolder(const std::filesystem::path& folder);

  // Stops whatever runs, checks the destination and starts the chosen link. openedPath is the
  // file the open document came from (empty for none). An existing destination is replaced
  // only with replace set; without it the step asks. State Running once started. A serial
  // transfer first drains the line; the start command goes out on the tick that finds it
  // silent for kDrainSilence.
  TransferStep start(const LinkChoice& link, const std::filesystem::path& openedPath, bool replace = false);
  // Reads the serial port, notices completion or failure, and finishes a complete transfer.
  TransferStep tick();
  // The answer to the first-block question: decode the declared block only, or give up.
  TransferStep answerFirstBlock(bool decode);
  // Stops the reader and closes the port; the transfer is not completed.
  void cancel();

  TransferState state() const { return state_; }
  // Running, but still waiting for the line to fall silent before the start command.
  bool draining() const { return state_ == TransferState::Running && draining_; }
  bool completed() const { return state_ == TransferState::Completed; }
  // The kept received bytes of the completed transfer (empty when they could not be kept).
  const std::filesystem::path& receivedBytesFile() const { return kept_; }
  // Bytes received of bytes expected; after the end, as they stood at the end.
  TransferBuffer::Progress progress() const;
  // Time since the last byte arrived (or since the start).
  std::chrono::steady_clock::duration silentFor() const;

  // Bounds the whole transfer once its stated length is known: twice the time that length takes
  // on the line, plus `extra`. A line that keeps sending after its block (or sends it too
  // slowly) then ends the transfer instead of holding it open for ever: the bytes beyond a
  // complete block are refused as extra bytes, an incomplete block fails.
  void setTimeLimit(std::chrono::seconds extra) { timeLimit_ = extra; }

  // A serial run longer than its block is refused; with this on, the session asks first whether
  // to decode its first block anyway (a window may ask, a command may not).
  void offerFirstBlock(bool offer) { offerFirstBlock_ = offer; }

  // The clock the session measures silence with (tests replace it).
  using Clock = std::chrono::steady_clock::time_point (*)();
  void setClock(Clock clock) { clock_ = clock; }

 private:
  void stopLinks();
  void fail(const std::string& message);
  void finish();
  void write(const DecodedTransfer& decoded);
  TransferStep step();
  void drain(std::string_view discarded);
  bool overTime(const TransferBuffer::Progress& progress);

  std::unique_ptr<SerialLink> serial_;
  std::unique_ptr<UsbLink> usb_;
  TransferBuffer buffer_;
  std::filesystem::path destination_;
  ProjectParameters parameters_;
  Recorder recorder_ = recorderNamed("");
  std::filesystem::path kept_;
  std::string keptBytes_;  // what kept_ holds, for the source's SHA-256
  TransferBuffer::Progress currentProgress() const;

  std::optional<LinkKind> running_;
  TransferState state_ = TransferState::Idle;
  TransferBuffer::Progress lastProgress_;
  std::string serialPort_;
  bool draining_ = false;
  bool offerFirstBlock_ = false;
  std::chrono::steady_clock::time_point drainStarted_;
  std::chrono::steady_clock::time_point lastData_;
  std::chrono::steady_clock::time_point started_;  // the start command sent, or the USB read begun
  std::optional<std::chrono::seconds> timeLimit_;
  std::string endNote_;                   // why the transfer was ended, before a refusal of what it received
  std::optional<TransferNotice> notice_;  // for the caller, once
  std::string question_;                  // while Asking
  std::string asked_;                     // the received bytes the question is about
  TransferLayout askedLayout_ = TransferLayout::Serial;
  std::string keptProblem_;  // why the received bytes could not be kept
  Clock clock_ = &std::chrono::steady_clock::now;
};

}  // namespace kro
