// The transfer session's rules.
#include "transfer/transfer_session.h"

#include <ctime>

#include "model/analysis_file.h"
#include "model/date_text.h"
#include "model/file_io.h"
#include "settings/program_paths.h"
#include "transfer/received_data.h"

namespace kro {
namespace fs = std::filesystem;

TransferSession::TransferSession(SerialPort* serialPort, Ch375Library* usbLibrary)
    : destination_(ProgramPaths::defaultTransferPath()) {
  if (serialPort != nullptr) serial_ = std::make_unique<SerialLink>(*serialPort);
  if (usbLibrary != nullptr) usb_ = std::make_unique<UsbLink>(*usbLibrary, buffer_);
}

TransferSession::~TransferSession() { stopLinks(); }

void TransferSession::chooseFolder(const fs::path& folder) {
  destination_ = folder / kDefaultTransferFileName;
}

void TransferSession::stopLinks() {
  if (usb_) usb_->stop();
  if (serial_) serial_->close();
  buffer_.stopRunning();
  running_.reset();
}

TransferStep TransferSession::step() {
  return {state_, std::exchange(notice_, std::nullopt),
          state_ == TransferState::Asking ? question_ : std::string()};
}

TransferStep TransferSession::start(const LinkChoice& link, const fs::path& openedPath, bool replace) {
  stopLinks();
  state_ = TransferState::Idle;
  asked_.clear();
  if (sameFile(destination_, openedPath)) {
    return {state_, TransferNotice{MessageKind::Warning, std::string(kFileIsOpenMessage)}, {}};
  }
  std::error_code ec;
  // The old file stays until the new one replaces it.
  if (fs::exists(destination_, ec) && !replace)
    return {state_, std::nullopt, std::string(kOverwriteQuestion)};

  if (link.kind == LinkKind::Usb) {
    // The link empties the buffer: bytes of an earlier transfer are discarded.
    Status started = usb_ ? usb_->start(link.usbIndex) : Status(Error{std::string(kUsbOpenFailed)});
    if (!started) return {state_, TransferNotice{MessageKind::Error, started.message()}, {}};
  } else {
    buffer_.reset(TransferLayout::Serial);  // bytes of an earlier transfer are discarded
    Status opened =
        serial_ ? serial_->open(link.serialPort) : Status(Error{std::string(kCannotOpenSerialPort)});
    if (!opened) {
      buffer_.stopRunning();
      return {state_, TransferNotice{MessageKind::Error, opened.message()}, {}};
    }
  }
  running_ = link.kind;
  state_ = TransferState::Running;
  kept_.clear();
  keptBytes_.clear();
  lastProgress_ = {};
  serialPort_ = link.serialPort;
  draining_ = link.kind == LinkKind::Serial;
  drainStarted_ = lastData_ = started_ = clock_();
  endNote_.clear();
  return step();
}

void TransferSession::drain(std::string_view discarded) {
  const auto now = clock_();
  if (!discarded.empty()) {
    lastData_ = now;
  } else if (now - lastData_ >= kDrainSilence) {
    if (!serial_->writeStartCommand()) {
      fail("无法向串口 " + serialPort_ + " 发送开始命令，传输已停止。请检查连接后重新传输。");
      return;
    }
    draining_ = false;
    lastData_ = started_ = now;
    return;
  }
  if (now - drainStarted_ >= kDrainLimit) {
    fail("仪器在 10 分钟内一直在发送数据，无法开始传输。请在仪器上停止发送（或关闭仪器再打开）后重新传输。");
  }
}

TransferStep TransferSession::tick() {
  if (state_ != TransferState::Running || !running_) return step();
  if (*running_ == LinkKind::Serial) {
    std::string_view bytes = serial_->readQueued();
    if (std::string reason = serial_->failure(); !reason.empty()) {
      fail("串口 " + serialPort_ + " 已断开（" + reason +
           "），传输已停止，没有保存任何数据。请检查仪器连接后重新传输。");
      return step();
    }
    if (draining_) {
      drain(bytes);
      return step();
    }
    buffer_.append(bytes);  // with nothing read the end test still runs on what is held
  }
  const TransferBuffer::Progress progress = currentProgress();
  if (progress.received != lastProgress_.received) lastData_ = clock_();
  lastProgress_ = progress;
  if (overTime(progress)) return step();
  if (*running_ == LinkKind::Serial) {
    if (progress.expected && progress.received >= *progress.expected && clock_() - lastData_ >= kEndSilence) {
      finish();
    }
  } else if (progress.complete) {
    finish();
  } else if (!usb_->readerActive()) {
    const UsbLink::Outcome outcome = usb_->outcome();
    fail(std::string(outcome == UsbLink::Outcome::WriteFailed ? kUsbWriteFailed : kUsbReadFailed));
  }
  return step();
}

bool TransferSession::overTime(const TransferBuffer::Progress& progress) {
  if (!timeLimit_ || !progress.expected) return false;
  const auto lineTime = std::chrono::seconds(*progress.expected / kLineBytesPerSecond + 1);
  const auto limit = 2 * lineTime + *timeLimit_;
  if (clock_() - started_ < limit) return false;
  const std::string seconds = std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
  if (progress.received >= *progress.expected) {
    // What came after the block is decoded as extra bytes: refused, kept, and (in a window)
    // the first block offered.
    endNote_ = std::string(kKeepsSendingMessage) + "：声明的 " + std::to_string(*progress.expected) +
               " 字节收齐后仍未停止，传输在 " + seconds + " 秒后结束。";
    finish();
    return true;
  }
  fail(std::string(kKeepsSendingMessage) + "，但 " + seconds + " 秒内没有送完声明的 " +
       std::to_string(*progress.expected) + " 字节（已收到 " + std::to_string(progress.received) +
       " 字节），传输已放弃，没有保存任何数据。请检查连接后重新传输。");
  return true;
}

void TransferSession::cancel() {
  stopLinks();
  if (state_ == TransferState::Running || state_ == TransferState::Asking) state_ = TransferState::Idle;
  asked_.clear();
}

TransferBuffer::Progress TransferSession::progress() const {
  return state_ == TransferState::Running ? currentProgress() : lastProgress_;
}

// The USB chip is read a whole block at a time: what its last block holds beyond the end of the
// data is not data, so the count shown never passes the size expected ("720 / 676").
TransferBuffer::Progress TransferSession::currentProgress() const {
  TransferBuffer::Progress p = buffer_.progress();
  if (running_ == LinkKind::Usb && p.expected && p.received > *p.expected)
    p.received = static_cast<std::size_t>(*p.expected);
  return p;
}

std::chrono::steady_clock::duration TransferSession::silentFor() const {
  if (state_ != TransferState::Running) return {};
  return clock_() - lastData_;
}

void TransferSession::fail(const std::string& message) {
  stopLinks();
  buffer_.take();
  state_ = TransferState::Failed;
  notice_ = TransferNotice{MessageKind::Error, message};
}

void TransferSession::finish() {
  const TransferLayout layout = *running_ == LinkKind::Usb ? TransferLayout::Usb : TransferLayout::Serial;
  stopLinks();
  const std::string bytes = buffer_.take();
  const std::uint64_t beyond = bytesBeyondBlock(layout, bytes);
  auto decoded = decodeTransfer(layout, bytes);
  if (!decoded && beyond == 0) {
    fail(endNote_ + decoded.message());
    return;
  }
  // The bytes as they came, before anything is made of them; kept also when refused, to see
  // what the instrument sent.
  const std::tm local = localTimeNow();
  auto kept = keepReceivedBytes(destination_, layout, bytes, local);
  keptProblem_ = kept ? std::string() : "收到的原始数据没有保存：" + kept.message();
  if (kept) {
    kept_ = kept.value();
    keptBytes_ = bytes;
  }
  if (!decoded) {
    // Only the user may take the first block of a longer run: the extra bytes may be a
    // restarted block or a byte the line added, and the readings could then be wrong.
    std::string refusal = endNote_ + decoded.message();
    if (kept) {
      refusal += "\n收到的数据保存在“" + displayPath(kept.value()) +
                 "”；只解码声明长度内的数据：kro decode --serial “" + displayPath(kept.value()) +
                 "” --first-block -o 输出.KRO";
    }
    if (!offerFirstBlock_) {
      fail(refusal);
      return;
    }
    state_ = TransferState::Asking;
    question_ = refusal + "\n\n仍要只解码声明长度内的前 " + std::to_string(bytes.size() - beyond) +
                " 字节吗？多出的字节不用。";
    asked_ = bytes;
    askedLayout_ = layout;
    return;
  }
  write(decoded.value());
}

TransferStep TransferSession::answerFirstBlock(bool decode) {
  if (state_ != TransferState::Asking) return step();
  const std::string bytes = std::exchange(asked_, std::string());
  if (!decode) {
    state_ = TransferState::Failed;
    return step();
  }
  auto decoded = decodeTransfer(askedLayout_, bytes, ExtraBytes::Ignore);
  if (!decoded) {
    fail(decoded.message());
    return step();
  }
  write(decoded.value());
  return step();
}

// Writes the decoded members as the destination's analysis file and says what arrived.
void TransferSession::write(const DecodedTransfer& decoded) {
  std::vector<std::string> warnings = decoded.warnings;
  if (!keptProblem_.empty()) warnings.push_back(keptProblem_);
  // The file is the project's original record from here: its source is the kept bytes, when
  // they could be kept, and its log begins with the members as they arrived.
  Project project{decoded.members, parameters_};
  std::optional<ProjectSource> source;
  if (!kept_.empty()) {
    source = sourceOf(
        kept_.extension() == ".usb" ? ProjectSource::Kind::UsbTransfer : ProjectSource::Kind::SerialTransfer,
        {{kept_, std::exchange(keptBytes_, {})}}, decoded.members.size());
  }
  beginRecord(project, std::move(source), recorder_);
  Status written = writeAnalysisFile(destination_, project);
  if (!written) {
    fail(written.message());
    return;
  }
  state_ = TransferState::Completed;
  std::size_t readings = 0;
  for (const MemberRecord& m : decoded.members) readings += m.readings().size();
  std::string message(kTransferDoneMessage);
  message += "\n收到 " + std::to_string(decoded.members.size()) + " 个构件、" + std::to_string(readings) +
             " 个测点。";
  if (!kept_.empty()) message += "\n原始数据保存在“" + displayPath(kept_) + "”。";
  for (const std::string& warning : warnings) message += "\n" + warning;
  notice_ = TransferNotice{warnings.empty() ? MessageKind::Information : MessageKind::Warning, message};
}

}  // namespace kro
