#include "json_report.h"

#include <nlohmann/json.hpp>

#include "script_lines.h"
#include "string_utils.h"

namespace brindle::check {
namespace {

// The columns of a line's text without its indentation and trailing
// whitespace; the whole line's place when it holds nothing else.
std::pair<std::size_t, std::size_t> textColumns(std::string_view line) {
  const Span text = textSpan(line);
  if (text.begin == text.end) return {1, line.size() + 1};
  return {text.begin + 1, text.end + 1};
}

}  // namespace

std::string_view kindName(FindingKind kind) {
  switch (kind) {
    case FindingKind::luaSyntax:
      return "luaSyntax";
    case FindingKind::unassignableVariable:
      return "unassignableVariable";
    case FindingKind::undefinedJumpTarget:
      return "undefinedJumpTarget";
    case FindingKind::duplicateLabel:
      return "duplicateLabel";
  }
  return "luaSyntax";
}

std::string_view kindName(WarningKind kind) {
  return kind == WarningKind::textChange ? "textChange" : "conversion";
}

struct JsonReport::Document {
  nlohmann::json files = nlohmann::json::array();
  nlohmann::json findings = nlohmann::json::array();
};

JsonReport::JsonReport() : document_(std::make_unique<Document>()) {}
JsonReport::~JsonReport() = default;

void JsonReport::add(std::string_view path, const CheckReport& report, std::string_view script) {
  ScriptLineFinder lines(script);
  // Warnings and findings in the order of their lines, a warning before a
  // finding of the same line, as they are printed.
  const auto entry = [&](std::size_t line, std::string_view severity, std::string_view kind,
                         const std::string& message, const std::vector<Hint>* hints) {
    auto [column, endColumn] = textColumns(lines.line(line));
    nlohmann::json hint = nullptr;
    if (hints && !hints->empty()) {
      hint = joinFixes(*hints);
      column = hints->front().column;
      endColumn = std::max(hints->front().endColumn, column);
    }
    document_->findings.push_back({{"file", path},
                                   {"line", line},
                                   {"column", column},
                                   {"endColumn", endColumn},
                                   {"severity", severity},
                                   {"kind", kind},
                                   {"message", message},
                                   {"hint", hint}});
  };
  inPrintedOrder(
      report,
      [&](const Warning& warning) { entry(warning.line, "warning", kindName(warning.kind), warning.message, nullptr); },
      [&](const Finding& finding) {
        entry(finding.line, "error", kindName(finding.kind), messageOf(finding), &finding.hints);
      });
  document_->files.push_back({{"file", path}, {"findings", report.findings.size()},
                              {"warnings", report.warnings.size()}, {"error", nullptr}});
}

void JsonReport::addUnreadable(std::string_view path, std::string_view problem) {
  document_->files.push_back({{"file", path}, {"findings", 0}, {"warnings", 0}, {"error", problem}});
}

std::string JsonReport::text(std::string_view summary) const {
  const nlohmann::json document = {
      {"files", document_->files}, {"findings", document_->findings}, {"summary", summary}};
  // A script may hold bytes that are not UTF-8; they are replaced, not refused.
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace brindle::check
