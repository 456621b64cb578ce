// The kro command that runs in kro-qt: drawing (print).
#include <QCoreApplication>
#include <QGuiApplication>

#include "cli/cli.h"
#include "cli/command_context.h"
#include "model/file_io.h"
#include "platform/console.h"
#include "render/report_printer.h"

namespace kro::cli {

namespace {

int commandPrint(const Context& cx, Invocation& call) {
  const SettingsLocation settings = settingsFor(call.args);
  // Drawing needs a GUI application object; without a display it draws off screen.
  static int qtArgc = 1;
  static char qtName[] = "kro";
  static char* qtArgv[] = {qtName, nullptr};
  std::unique_ptr<QGuiApplication> app;
  if (QCoreApplication::instance() == nullptr) {
    if (platform::withoutDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
  }
  Status printed =
      writeOutputByPath(cx, call.output, OutputKind::Binary, [&](const std::filesystem::path& pdf) {
        return printReportToPdf(call.loaded(), pdf, printedPageSettings(call.loaded(), settings));
      });
  if (!printed) return cx.fail(printed.message());
  return kSuccess;
}

}  // namespace

int runWithQt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  static const CommandTable commands = [] {
    CommandTable all = fileCommands();
    all.insert({"print", commandPrint});
    return all;
  }();
  return dispatch(commands, args, out, err, in);
}

}  // namespace kro::cli
