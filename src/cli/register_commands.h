// The office's register on the command line: kro register (people, instruments, numbering,
// ledgers, void, export, verify, backup) and what kro issue (which writes the printed report in
// kro-qt) shares with it.
#pragma once

#include <memory>
#include <string>

#include "cli/command_context.h"
#include "register/register.h"

namespace kro::cli {

int commandRegister(const Context& cx, Invocation& call);
// kro verify: an issued report's anti-counterfeit code checked against the office's keys.
int commandVerify(const Context& cx, Invocation& call);
// kro verify-page: the page an office publishes for phones to check its reports' codes.
int commandVerifyPage(const Context& cx, Invocation& call);

// The register of --register, the settings' or the default, opened.
Result<std::unique_ptr<Register>> registerFor(const Arguments& args);
// A person's PIN: KRO_PIN when set (for scripts), else asked on the terminal without echo.
Result<std::string> pinOf(const std::string& person, const char* variable = "KRO_PIN");
// The passphrase of the office's signing key: KRO_PASSPHRASE when set, else asked.
Result<std::string> passphraseOf();

}  // namespace kro::cli
