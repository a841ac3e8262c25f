#include "check.h"

#include <algorithm>
#include <limits>

#include "convert.h"
#include "line_map.h"

namespace brindle::check {

CheckReport checkScript(std::string_view script, const Batches& batches,
                        const std::atomic<bool>* stopped) {
  CheckReport report;
  // The text's first line, before the first table's, holds nothing.
  LineMap lines;
  beginLine(&lines, 0, LuaLineRole::header);
  Checker checker(lines, script, batches, report.findings);
  ConvertOptions options;
  // The flat text: the parse is of items in their context, which grouping
  // would only wrap, so no table is cut into pieces either.
  options.mostItemsPerFunction = std::numeric_limits<std::size_t>::max();
  options.mostLabelWarnings = std::numeric_limits<std::size_t>::max();
  options.describeTextChanges = true;
  const auto goOn = [stopped] {
    if (stopped && stopped->load(std::memory_order_relaxed)) throw CheckStopped{};
  };
  std::string console;
  StretchRecord record(options, console, &lines);
  // The tables go to the checker as they are written; the declarations, at
  // the end, once every variable is known.
  const auto handOnTables = [&] {
    goOn();
    checker.take(record.tables.text());
    record.tables.drop(record.tables.text().size());
  };
  convertStretch(script, options, record, handOnTables);
  handOnTables();
  TextBuffer declarations;
  appendDeclarationLines(record.variables, record.variableLines, declarations, lines);
  checker.take(declarations.view());
  goOn();
  checker.finish();
  std::vector<Finding>& findings = report.findings;
  // The declarations' findings go first among those of a line, as their
  // lines come first in output.lua.
  std::stable_partition(findings.begin(), findings.end(),
                        [](const Finding& f) { return f.kind == FindingKind::unassignableVariable; });
  finishWarnings(wholeFileOf(script), record.labels, record.warnings);
  // The label problems are findings; every other warning stays one.
  for (Warning& warning : record.warnings) {
    if (warning.kind == WarningKind::undefinedJumpTarget) {
      findings.push_back({warning.line, FindingKind::undefinedJumpTarget, std::move(warning.message), {}});
    } else if (warning.kind == WarningKind::redefinedLabel) {
      findings.push_back({warning.line, FindingKind::duplicateLabel, std::move(warning.message), {}});
    } else {
      report.warnings.push_back(std::move(warning));
    }
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return report;
}

void appendMessage(std::string& out, const Finding& finding) {
  out.append(finding.message);
  if (finding.hints.empty()) return;
  out.append("; to fix it, ");
  appendFixes(out, finding.hints);
}

std::string messageOf(const Finding& finding) {
  std::string message;
  appendMessage(message, finding);
  return message;
}

std::string summaryLine(const std::vector<Finding>& findings) {
  if (findings.empty()) return "brindle-check: every line will load";
  struct Kind {
    FindingKind kind;
    const char* one;
    const char* many;
  };
  static constexpr Kind kKinds[] = {
      {FindingKind::luaSyntax, "Lua syntax error", "Lua syntax errors"},
      {FindingKind::unassignableVariable, "variable Lua cannot assign", "variables Lua cannot assign"},
      {FindingKind::undefinedJumpTarget, "undefined jump target", "undefined jump targets"},
      {FindingKind::duplicateLabel, "duplicate label", "duplicate labels"},
  };
  std::string counts;
  for (const Kind& kind : kKinds) {
    const auto n = static_cast<std::size_t>(std::count_if(
        findings.begin(), findings.end(), [&](const Finding& f) { return f.kind == kind.kind; }));
    if (n == 0) continue;
    if (!counts.empty()) counts += ", ";
    counts += std::to_string(n) + " " + (n == 1 ? kind.one : kind.many);
  }
  return "brindle-check: " + std::to_string(findings.size()) +
         (findings.size() == 1 ? " line" : " lines") + " will not load (" + counts + ")";
}

}  // namespace brindle::check
