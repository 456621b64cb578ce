// The kro commands that run in kro-qt: drawing (print) everywhere; on Linux also the devices,
// whose serial port is Qt's, and the virtual instrument (simulate) on a pseudo-terminal.
#include <QCoreApplication>
#include <QGuiApplication>

#include "cli/cli.h"
#include "cli/command_context.h"
#include "cli/device_commands.h"
#include "model/file_io.h"
#include "render/report_printer.h"

#ifndef _WIN32
#include <atomic>
#include <csignal>

#include "devices/pty_instrument.h"
#include "transfer/instrument_encoder.h"
#endif

namespace kro::cli {

namespace {

#ifndef _WIN32
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
#endif

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
#ifndef _WIN32
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
  }
  Status printed = writeOutputByPath(cx, *output, OutputKind::Binary, [&](const std::filesystem::path& pdf) {
    return printReportToPdf(loaded.value().project, pdf,
                            printedPageSettings(loaded.value().project, settings));
  });
  if (!printed) return cx.fail(printed.message());
  return kSuccess;
}

}  // namespace

int runWithQt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  static const CommandTable commands = [] {
    CommandTable all = fileCommands();
    all.insert(deviceCommands().begin(), deviceCommands().end());
    all.insert({"print", commandPrint});
#ifndef _WIN32
    all.insert({"simulate", commandSimulate});
#endif
    return all;
  }();
  return dispatch(commands, args, out, err, in);
}

#ifndef _WIN32
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  return runWithQt(args, out, err, in);
}
#endif

}  // namespace kro::cli
