// brindle-check: converts test.py in the working directory as brindle does,
// in memory, and reports on standard error every line of it whose Lua will
// not load, sorted by line, then one summary line. Writes nothing. Exits 1
// when it found anything or could not read test.py, 0 otherwise, so that it
// can stop a build.
#include <new>
#include <string>

#include "check.h"
#include "program.h"

namespace {

constexpr const char* kProgram = "brindle-check";

int run() {
  brindle::ScriptFile script;
  std::string problem;
  if (!brindle::readScriptFile(brindle::kScriptPath, script, problem)) {
    brindle::printToError(brindle::errorLine(kProgram, problem));
    return 1;
  }
  const brindle::check::CheckReport report = brindle::check::checkScript(script.text);
  // Warnings and findings together in the order of their lines, a warning
  // before a finding of the same line, written in one call.
  std::string printed;
  auto warning = report.warnings.begin();
  for (const brindle::check::Finding& finding : report.findings) {
    for (; warning != report.warnings.end() && warning->line <= finding.line; ++warning) {
      brindle::appendWarning(printed, brindle::kScriptPath, *warning);
    }
    brindle::appendDiagnostic(printed, brindle::kScriptPath, finding.line, "error", finding.message);
  }
  for (; warning != report.warnings.end(); ++warning) {
    brindle::appendWarning(printed, brindle::kScriptPath, *warning);
  }
  printed.append(brindle::check::summaryLine(report.findings)).append("\n");
  brindle::printToError(printed);
  return report.findings.empty() ? 0 : 1;
}

}  // namespace

int main() {
  try {
    return run();
  } catch (const std::bad_alloc&) {
    brindle::printToError(brindle::errorLine(kProgram, "out of memory"));
    return 1;
  }
}
