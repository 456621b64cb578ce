// Checking an issued report's anti-counterfeit code: where it is read from (a code's text, a
// .docx's custom properties, a PDF's XMP metadata), the office's public keys as a text file, and
// what a check finds.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "register/register.h"
#include "report/report_code.h"

namespace kro {

// The public keys as text (its secret parts never): a block per key of "名称 值" lines.
std::string publicKeysText(const std::vector<OfficeKey>& keys);
// A text as HTML shows it.
std::string htmlEscaped(std::string_view text);
// The same as a page to print and pin up (HTML, nothing loaded from elsewhere): each key's office,
// id, fingerprint in large type, validity and revocation.
std::string publicKeysPage(const std::vector<OfficeKey>& keys);
// And back: the keys of such a text; a block without a valid key is named.
Result<std::vector<OfficeKey>> parsePublicKeys(std::string_view text);

// The code a document holds in its properties, and the text a .docx prints (its body's and its
// headers' and footers' words, in order).
struct DocumentCode {
  std::string code;
  std::optional<std::string> printedText;  // a .docx's
};
Result<DocumentCode> codeOfDocument(const std::filesystem::path& file);

// What a check found: whether the signature is the office's, under which key, and why not.
struct CodeCheck {
  ReadCode read;
  const OfficeKey* key = nullptr;  // the key whose id the code names, among those given
  std::vector<std::string> problems;
  bool valid() const { return problems.empty(); }
};
CodeCheck checkCode(const ReadCode& read, const std::vector<OfficeKey>& keys);
// The signed figures a .docx must print; the ones it does not are added to the problems.
void checkPrintedFigures(CodeCheck& check, const std::string& printedText);

// The signed fields, one per line, for a person to compare with the paper.
std::vector<std::string> signedFieldLines(const CodeCheck& check);

}  // namespace kro
