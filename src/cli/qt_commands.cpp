// The kro commands that need Qt: the devices (simulate, ports, transfer) and drawing (print).
#include <QCoreApplication>
#include <QGuiApplication>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "cli/cli.h"
#include "cli/command_context.h"
#include "cli/transfer_command.h"
#include "devices/port_listing.h"
#include "devices/pty_instrument.h"
#include "devices/qt_serial_port.h"
#include "devices/usb_backend.h"
#include "model/file_io.h"
#include "render/report_printer.h"
#include "transfer/instrument_encoder.h"
#include "transfer/serial_link.h"

namespace kro::cli {
namespace fs = std::filesystem;

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int) { interrupted = true; }

int commandSimulate(const Context& cx, const std::vector<std::string>& args) {
  std::string error;
  auto a = Arguments::parse(args, cx.declaration, error);
  if (!a) return cx.usage(error);
  if (a->positional().size() != 1) return cx.usage("simulate 需要一个输入文件");
  auto loaded = load(cx, a->positional()[0]);
  if (!loaded) return cx.fail(loaded.message());
  auto block = encodeSerialBlock(loaded.value().project.members);
  if (!block) return cx.fail(block.message());
  auto instrument = PtyInstrument::create(std::move(block.value()), a->has("--fast"));
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

int commandTransfer(const Context& cx, const std::vector<std::string>& args) {
  // Qt Serial Port wants an application object; it runs without an event loop here.
  static int qtArgc = 1;
  static char qtName[] = "kro";
  static char* qtArgv[] = {qtName, nullptr};
  std::unique_ptr<QCoreApplication> app;
  if (QCoreApplication::instance() == nullptr) app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
  QtSerialPort serialPort;
  return runTransfer(cx, args, serialPort, makeUsbLibrary);
}

int commandPorts(const Context& cx, const std::vector<std::string>& args) {
  std::string error;
  auto a = Arguments::parse(args, cx.declaration, error);
  if (!a) return cx.usage(error);
  if (!a->positional().empty()) return cx.usage("ports 不需要输入文件");
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
  if (a->has("--json")) {
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
    cx.out << j.dump() << "\n";
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

int commandPrint(const Context& cx, const std::vector<std::string>& args) {
  std::string error;
  auto a = Arguments::parse(args, cx.declaration, error);
  if (!a) return cx.usage(error);
  if (a->positional().size() != 1) return cx.usage("print 需要一个输入文件");
  auto output = a->value("-o");
  if (!output) return cx.usage("print 需要用 -o 指定 PDF 文件");
  const SettingsLocation settings = settingsFor(*a);
  auto loaded = load(cx, a->positional()[0]);
  if (!loaded) return cx.fail(loaded.message());
  // Drawing needs a GUI application object; without a display it draws off screen.
  static int qtArgc = 1;
  static char qtName[] = "kro";
  static char* qtArgv[] = {qtName, nullptr};
  std::unique_ptr<QGuiApplication> app;
  if (QCoreApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
  }
  Status printed = printReportToPdf(loaded.value().project, *output,
                                    printedPageSettings(loaded.value().project, settings));
  if (!printed) return cx.fail(printed.message());
  return kSuccess;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  static const CommandTable commands = [] {
    CommandTable all = fileCommands();
    all.insert({{"simulate", commandSimulate},
                {"transfer", commandTransfer},
                {"ports", commandPorts},
                {"print", commandPrint}});
    return all;
  }();
  return dispatch(commands, args, out, err, in);
}

}  // namespace kro::cli
