// The verification page: one self-contained HTML file an office publishes under its own address,
// which a phone's camera opens with an issued report's code after "#". It holds the office's public
// keys and the numbers voided when it was written, checks the signature in the browser (its own
// Ed25519, or the inlined tweetnacl where the browser has none) and shows, in large type, whether
// the report is genuine, with what was signed.
#pragma once

#include <string>
#include <vector>

#include "register/register.h"

namespace kro {

// The page for these keys; voided: "LBHD-2026-0001 第 1 版" texts, as the void list has them.
std::string verifyPage(const std::vector<OfficeKey>& keys, const std::vector<std::string>& voided);

// The void list published beside the page (void-list.json): the voided reports, newest first.
std::string voidListJson(const std::vector<ReportRecord>& reports);
std::vector<std::string> voidedReports(const std::vector<ReportRecord>& reports);

}  // namespace kro
