// An issued report's documents: the Word report and data table in the project's format and the
// printed report as PDF, each showing the report's number, revision, the three names and the
// instrument's certificate.
#pragma once

#include "register/issuing.h"
#include "report/report_generator.h"

namespace kro {

class IssuedDocuments final : public IssueDocuments {
 public:
  IssuedDocuments(SettingsLocation settings, OfficePaths paths, TemplateFiller& filler)
      : settings_(std::move(settings)), paths_(std::move(paths)), filler_(filler) {}
  Result<std::vector<Written>> write(const Project& project, const std::string& format,
                                     const IssueMarks& marks, const std::filesystem::path& folder,
                                     const std::string& base) override;

 private:
  SettingsLocation settings_;
  OfficePaths paths_;
  TemplateFiller& filler_;
};

}  // namespace kro
