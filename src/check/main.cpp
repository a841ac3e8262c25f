// brindle-check: converts test.py in the working directory as brindle does,
// in memory, and reports on standard error every line of it whose Lua will
// not load, sorted by line, then one summary line. Writes nothing. Exits 1
// when it found anything or could not read test.py, 0 otherwise, so that it
// can stop a build. Given exactly the argument --version, it prints
// "brindle-check VERSION" (the project's version, BRINDLE_VERSION from the
// build) on standard output and exits 0 without reading anything; any other
// arguments are ignored.
#include <new>
#include <string>
#include <string_view>

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

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    brindle::writeToStandardStream(brindle::StandardStream::kOutput,
                                   "brindle-check " BRINDLE_VERSION "\n");
    return 0;
  }
  try {
    return run();
  } catch (const std::bad_alloc&) {
    brindle::printToError(brindle::errorLine(kProgram, "out of memory"));
    return 1;
  }
}
