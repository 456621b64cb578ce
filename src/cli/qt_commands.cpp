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

int commandPrint(const Context& cx, const std::vector<std::string>& args) {
  auto a = Arguments::parse(args, cx.declaration);
  if (!a) return cx.usage(a.message());
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
    if (platform::withoutDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
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
    all.insert({"print", commandPrint});
    return all;
  }();
  return dispatch(commands, args, out, err, in);
}

}  // namespace kro::cli
