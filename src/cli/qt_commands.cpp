// The kro command that runs in kro-qt: drawing (print).
#include <QCoreApplication>
#include <QGuiApplication>

#include "cli/cli.h"
#include "cli/command_context.h"
#include "model/file_io.h"
#include "platform/console.h"
#include "render/report_printer.h"
#ifdef KRO_WITH_REGISTER
#include "cli/register_commands.h"
#include "model/date_text.h"
#include "office/docx_template.h"
#include "register/issuing.h"
#include "render/issue_documents.h"
#endif

namespace kro::cli {

namespace {

// Drawing needs a GUI application object: one made for the command when there is none yet
// (without a display it draws off screen).
std::unique_ptr<QGuiApplication> applicationForDrawing() {
  static int qtArgc = 1;
  static char qtName[] = "kro";
  static char* qtArgv[] = {qtName, nullptr};
  if (QCoreApplication::instance() != nullptr) return nullptr;
  if (platform::withoutDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  return std::make_unique<QGuiApplication>(qtArgc, qtArgv);
}

int commandPrint(const Context& cx, Invocation& call) {
  const SettingsLocation settings = settingsFor(call.args);
  const auto app = applicationForDrawing();
  Status printed =
      writeOutputByPath(cx, call.output, OutputKind::Binary, [&](const std::filesystem::path& pdf) {
        return printReportToPdf(call.loaded(), pdf, printedPageSettings(call.loaded(), settings));
      });
  if (!printed) return cx.fail(printed.message());
  return kSuccess;
}

#ifdef KRO_WITH_REGISTER
// kro issue: the step the person may take for the project, its documents written (the printed
// report drawn here, with Qt) when it is the approval.
int commandIssue(const Context& cx, Invocation& call) {
  const auto person = call.args.value("--as");
  if (!person || person->empty()) return cx.usage("issue 需要用 --as 指明签字的人");
  auto reg = registerFor(call.args);
  if (!reg) return cx.fail(reg.message());
  auto pin = pinOf(*person);
  if (!pin) return cx.fail(pin.message());
  const SettingsLocation settings = settingsFor(call.args);
  IssueRequest request;
  request.projectFile = pathFromUtf8(call.inputs()[0]);
  request.person = *person;
  request.pin = pin.value();
  request.format = call.args.value("--format").value_or("");
  request.instrument = call.args.value("--instrument").value_or("");
  request.outputFolder = pathFromUtf8(call.output.empty() ? std::string(".") : call.output);
  request.forceExpired = call.args.has("--force-expired");
  request.externalNumber = call.args.value("--number").value_or("");
  request.platformCode = call.args.value("--platform-code").value_or("");
  request.passphrase = passphraseOf;
  request.today = today();
  const auto app = applicationForDrawing();
  DocxTemplateFiller filler(fieldCatalog());
  IssuedDocuments documents(settings, OfficePaths::standard(), filler);
  auto step = takeIssueStep(*reg.value(), request, documents, settings);
  if (!step) return cx.fail(step.message());
  for (const std::string& w : step->warnings) cx.err << "kro: 警告：" << printable(w) << "\n";
  cx.out << printable(step->summary) << "\n";
  for (const auto& f : step->files) cx.out << "  " << printable(displayPath(f)) << "\n";
  return kSuccess;
}
#endif

}  // namespace

int runWithQt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  static const CommandTable commands = [] {
    CommandTable all = fileCommands();
    all.insert({"print", commandPrint});
#ifdef KRO_WITH_REGISTER
    all.insert({"issue", commandIssue});
#endif
    return all;
  }();
  return dispatch(commands, args, out, err, in);
}

}  // namespace kro::cli
