// The one engine of every Word report: a .docx template whose body, headers, footers and text
// boxes hold fields (report/template_filler.h) is checked and filled. Fields are found across
// runs (a word processor splits a field's text over several runs as it is edited) and take the
// formatting of their first character.
//
// Filling streams: the template's parts are small and read whole, but the repeated parts of the
// body (a member's rows, a reading row per ten readings) are made one member at a time and
// written out as they are made, so memory follows the template, not the readings. Every text
// reaches the document through xmlSafeText, and every element through the XML writer, so the
// document is well-formed whatever the values hold.
#pragma once

#include <filesystem>

#include "office/package.h"
#include "report/template_filler.h"

namespace kro {

class DocxTemplateFiller final : public TemplateFiller {
 public:
  // Fields are known by the catalog (report/template_filler.h's fieldCatalog()).
  explicit DocxTemplateFiller(const FieldCatalog& catalog) : catalog_(catalog) {}
  Result<TemplateFields> check(const std::filesystem::path& templateFile) override;
  Status fill(const std::filesystem::path& templateFile, const ReportValues& values,
              const std::filesystem::path& output, const CancelFlag* cancel = nullptr) override;

 private:
  const FieldCatalog& catalog_;
};

// The same from a template's parts already read; name names the template in messages.
Result<TemplateFields> checkTemplateParts(PackageParts parts, const std::filesystem::path& name,
                                          const FieldCatalog& catalog);
Status fillTemplateParts(PackageParts parts, const std::filesystem::path& name, const FieldCatalog& catalog,
                         const ReportValues& values, const std::filesystem::path& output,
                         const CancelFlag* cancel = nullptr);

}  // namespace kro
