// kro transfer on whichever serial port and USB library the platform gives.
#include "cli/transfer_command.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <thread>

#include "model/file_io.h"
#include "transfer/transfer_session.h"

namespace kro::cli {
namespace fs = std::filesystem;

namespace {

bool errorStreamIsTerminal() {
#ifdef _WIN32
  return ::_isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

// The transfer's messages go to the error stream; the last error is kept as the command's
// failure message. Questions about replacing a file are answered yes: outputs named on the
// command line replace what is there.
class ConsolePrompter : public Prompter {
 public:
  explicit ConsolePrompter(std::ostream& err) : err_(err) {}
  void showMessage(MessageKind kind, const std::string& text) override {
    if (kind == MessageKind::Error) {
      lastError = text;
    } else {
      err_ << (kind == MessageKind::Warning ? "kro: 警告：" : "kro: ") << text << "\n";
    }
  }
  bool askYesNo(const std::string&) override { return true; }
  SaveChoice askSaveDiscardCancel(const std::string&) override { return SaveChoice::Cancel; }
  std::optional<fs::path> chooseSavePath(const SaveDialogRequest&) override { return std::nullopt; }
  std::string lastError;

 private:
  std::ostream& err_;
};

// One progress line on the error stream, rewritten in place on a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(std::ostream& err) : err_(err), terminal_(errorStreamIsTerminal()) {}
  ~ProgressLine() {
    if (shown_) err_ << "\n";
  }
  // Elsewhere (a log), a line when the size becomes known and one at the end.
  void show(const TransferBuffer::Progress& p) {
    if (p.received == received_ && p.expected == expected_) return;
    const bool sizeLearned = p.expected && !expected_;
    received_ = p.received;
    expected_ = p.expected;
    std::string line = "已接收 " + std::to_string(p.received);
    if (p.expected) line += " / " + std::to_string(*p.expected);
    line += " 字节";
    if (terminal_) {
      err_ << "\r" << line << std::flush;
      shown_ = true;
    } else if (sizeLearned || p.complete) {
      err_ << line << "\n";
    }
  }

 private:
  std::ostream& err_;
  bool terminal_;
  bool shown_ = false;
  std::size_t received_ = static_cast<std::size_t>(-1);
  std::optional<std::uint64_t> expected_;
};

constexpr std::int64_t kMaxTimeoutSeconds = 24 * 60 * 60;
constexpr std::int64_t kMaxUsbIndex = 255;

}  // namespace

int runTransfer(const Context& cx, const std::vector<std::string>& args, SerialPort& serialPort,
                const UsbLibraryMaker& makeUsb) {
  std::string error;
  auto a = Arguments::parse(args, cx.declaration, error);
  if (!a) return cx.usage(error);
  if (!a->positional().empty() || a->value("--serial").has_value() == a->value("--usb").has_value()) {
    return cx.usage("transfer 需要 --serial PORT 或 --usb INDEX 之一");
  }
  auto output = a->value("-o");
  if (!output) return cx.usage("transfer 需要用 -o 指定输出文件");
  std::int64_t timeout = 60;
  if (auto t = a->value("--timeout")) {
    auto seconds = parseNumber(*t, 1, kMaxTimeoutSeconds);
    if (!seconds)
      return cx.usage("--timeout 需要 1 到 " + std::to_string(kMaxTimeoutSeconds) +
                      " 之间的整数秒数，而不是“" + *t + "”");
    timeout = *seconds;
  }
  LinkChoice link;
  if (auto port = a->value("--serial")) {
    link.kind = LinkKind::Serial;
    link.serialPort = *port;
  } else {
    const std::string index = *a->value("--usb");
    auto number = parseNumber(index, 0, kMaxUsbIndex);
    if (!number) {
      return cx.usage("--usb 需要 0 到 " + std::to_string(kMaxUsbIndex) +
                      " 之间的设备序号（USB1 为 0），而不是“" + index + "”");
    }
    link.kind = LinkKind::Usb;
    link.usbIndex = static_cast<unsigned>(*number);
  }

  std::unique_ptr<Ch375Library> usb;
  if (link.kind == LinkKind::Usb) {
    auto library = makeUsb();
    if (!library) return cx.fail(library.message());
    usb = std::move(library.value());
  }
  ConsolePrompter frontend(cx.err);
  TransferSession session(frontend, &serialPort, usb.get());
  session.setDestination(pathFromUtf8(*output));
  if (!session.start(link, {})) return cx.fail(frontend.lastError);
  {
    ProgressLine progress(cx.err);
    bool drainShown = false;
    while (session.tick() == TransferState::Running) {
      if (session.draining() && !drainShown) {
        cx.err << kDrainingMessage << "…" << std::endl;
        drainShown = true;
      }
      progress.show(session.progress());
      if (session.silentFor() > std::chrono::seconds(timeout)) {
        session.cancel();
        break;
      }
      std::this_thread::sleep_for(kTransferTick);
    }
    if (session.completed()) progress.show(session.progress());
  }
  if (session.state() == TransferState::Running || session.state() == TransferState::Idle) {
    return cx.fail("仪器在 " + std::to_string(timeout) + " 秒内没有发送数据，传输已放弃。");
  }
  if (!session.completed()) return cx.fail(frontend.lastError);
  return kSuccess;
}

}  // namespace kro::cli
