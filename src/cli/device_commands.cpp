// kro transfer, kro ports and kro simulate on the system's serial port, the USB library and
// pseudo-terminals.
#include "cli/device_commands.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "cli/command_context.h"
#include "devices/port_listing.h"
#include "devices/pty_instrument.h"
#include "devices/usb_backend.h"
#include "model/file_io.h"
#include "platform/console.h"
#include "platform/serial_port.h"
#include "report/project_parameters.h"
#include "transfer/instrument_encoder.h"
#include "transfer/transfer_session.h"

namespace kro::cli {
namespace fs = std::filesystem;

namespace {

// One progress line on the error stream, rewritten in place on a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(std::ostream& err)
      : err_(err), terminal_(platform::isTerminal(platform::StandardStream::Error)) {}
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

int commandTransfer(const Context& cx, Invocation& call) {
  platform::SystemSerialPort serialPort;
  if (!call.inputs().empty() ||
      call.args.value("--serial").has_value() == call.args.value("--usb").has_value()) {
    return cx.usage("transfer 需要 --serial PORT 或 --usb INDEX 之一");
  }
  std::int64_t timeout = 60;
  if (auto t = call.args.value("--timeout")) {
    auto seconds = parseNumber(*t, 1, kMaxTimeoutSeconds);
    if (!seconds)
      return cx.usage("--timeout 需要 1 到 " + std::to_string(kMaxTimeoutSeconds) +
                      " 之间的整数秒数，而不是“" + *t + "”");
    timeout = *seconds;
  }
  LinkChoice link;
  if (auto port = call.args.value("--serial")) {
    link.kind = LinkKind::Serial;
    link.serialPort = *port;
  } else {
    const std::string index = *call.args.value("--usb");
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
    auto library = makeUsbLibrary();
    if (!library) return cx.fail(library.message());
    usb = std::move(library.value());
  }
  TransferSession session(&serialPort, usb.get());
  session.setDestination(pathFromUtf8(call.output));
  session.setParameters(officeParameters(settingsFor(call.args)));
  session.setRecorder(cliRecorder());
  session.setTimeLimit(std::chrono::seconds(timeout));
  // Outputs named on the command line replace what is there; a failure's notice is the
  // command's message, other notices go to the error stream.
  TransferStep step = session.start(link, {}, true);
  if (step.state != TransferState::Running)
    return cx.fail(step.notice ? step.notice->text : "传输没有开始。");
  {
    ProgressLine progress(cx.err);
    bool drainShown = false;
    while ((step = session.tick()).state == TransferState::Running) {
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
  if (!session.completed()) return cx.fail(step.notice ? step.notice->text : "传输失败。");
  if (step.notice) {
    cx.err << (step.notice->kind == MessageKind::Warning ? "kro: 警告：" : "kro: ") << step.notice->text
           << "\n";
  }
  return kSuccess;
}

int commandPorts(const Context& cx, Invocation& call) {
  const std::vector<SerialPortEntry> serial = listSerialPorts();
  const std::vector<UsbInstrumentEntry> usb = listUsbInstruments();
  auto hex = [](std::uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", id);
    return std::string(text);
  };
  // The name a transfer takes for a device: COMn for the first six serial ports, else the path.
  auto serialName = [](const std::string& path) {
    for (int n = 1; n <= 6; ++n) {
      if (serialDevicePath("COM" + std::to_string(n)) == path) return "COM" + std::to_string(n);
    }
    return path;
  };
  if (call.args.has("--json")) {
    Json ports = Json::array(), instruments = Json::array();
    for (const SerialPortEntry& p : serial) {
      Json j{{"name", serialName(p.path)}, {"path", p.path}};
      if (!p.description.empty()) j["description"] = p.description;
      if (!p.manufacturer.empty()) j["manufacturer"] = p.manufacturer;
      if (p.vendorId) j["vendorId"] = hex(*p.vendorId);
      if (p.productId) j["productId"] = hex(*p.productId);
      ports.push_back(std::move(j));
    }
    for (const UsbInstrumentEntry& u : usb) {
      instruments.push_back({{"name", "USB" + std::to_string(u.index + 1)},
                             {"bus", u.bus},
                             {"address", u.address},
                             {"vendorId", hex(u.vendorId)},
                             {"productId", hex(u.productId)},
                             {"knownId", u.knownId}});
    }
    Json j = jsonOutput();
    j["serial"] = std::move(ports);
    j["usb"] = std::move(instruments);
    cx.out << jsonText(j) << "\n";
    return kSuccess;
  }
  cx.out << "串口：\n";
  if (serial.empty()) cx.out << "  （没有找到串口）\n";
  for (const SerialPortEntry& p : serial) {
    const std::string name = serialName(p.path);
    const std::string summary = serialPortSummary(p);
    cx.out << "  " << printable(name) << (name != p.path ? "  " + printable(p.path) : "")
           << (summary.empty() ? "" : "  " + printable(summary)) << "\n";
  }
  cx.out << "USB 仪器：\n";
  if (usb.empty()) cx.out << "  （没有找到：查找的是" << kUsbIdsLookedFor << " 的设备）\n";
  for (const UsbInstrumentEntry& u : usb) {
    cx.out << "  USB" << u.index + 1 << "  总线 " << u.bus << " 设备 " << u.address << "  " << hex(u.vendorId)
           << ":" << hex(u.productId) << (u.knownId ? "" : "（不是仪器芯片的编号，但端点相符）") << "\n";
  }
  return kSuccess;
}

}  // namespace

std::atomic<bool> interrupted{false};

void onInterrupt(int) { interrupted = true; }

int commandSimulate(const Context& cx, Invocation& call) {
  auto block = encodeSerialBlock(call.loaded().members);
  if (!block) return cx.fail(block.message());
  auto instrument = PtyInstrument::create(std::move(block.value()), call.args.has("--fast"));
  if (!instrument) return cx.fail(instrument.message());
  cx.out << instrument.value()->portPath() << std::endl;
  interrupted = false;
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  instrument.value()->serve(interrupted);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  return kSuccess;
}

const CommandTable& deviceCommands() {
  static const CommandTable commands = {
      {"transfer", commandTransfer}, {"ports", commandPorts}, {"simulate", commandSimulate}};
  return commands;
}

}  // namespace kro::cli
