// brindle-check's findings as one JSON document, for build pipelines and
// editors: for each finding and warning its file, line, columns, severity,
// kind, message and hint, and for each file whether it could be read.
// Columns count bytes of the line from 1; "endColumn" is one past the last.
// A JsonReport gathers file by file; it is used by one thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "check.h"

namespace brindle::check {

class JsonReport {
 public:
  JsonReport();
  ~JsonReport();
  JsonReport(const JsonReport&) = delete;
  JsonReport& operator=(const JsonReport&) = delete;

  // The report on the file `path`, whose script is `script`.
  void add(std::string_view path, const CheckReport& report, std::string_view script);
  // A file that could not be read, and why.
  void addUnreadable(std::string_view path, std::string_view problem);
  // The document, with `summary` the closing line printed for people.
  std::string text(std::string_view summary) const;

 private:
  struct Document;
  std::unique_ptr<Document> document_;
};

// The kinds as the JSON document names them.
std::string_view kindName(FindingKind kind);
std::string_view kindName(WarningKind kind);

}  // namespace brindle::check
