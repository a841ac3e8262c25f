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
#include "console.h"
#include "files.h"
#include "folder.h"

namespace {

constexpr const char* kInputPath = "test.py";

void printError(const std::string& problem) {
  brindle::writeToStandardStream(brindle::StandardStream::kError,
                                 "brindle-check: error: cannot read " + std::string(kInputPath) +
                                     ": " + problem + "\n");
}

std::string describeWarning(const brindle::Warning& warning) {
  return std::string(kInputPath) + ":" + std::to_string(warning.line) + ": warning: " +
         warning.message;
}

int run() {
  brindle::FileContents input;
  brindle::FileError error;
  if (!brindle::readWholeFile(kInputPath, input, &error)) {
    printError(brindle::readProblem(error, kInputPath));
    return 1;
  }
  const brindle::check::CheckReport report = brindle::check::checkScript(input.view());
  if (!report.error.empty()) {
    printError(report.error);
    return 1;
  }
  // Warnings and findings together in the order of their lines, a warning
  // before a finding of the same line, written in one call. A message may
  // hold any byte of the script, NUL included.
  std::string printed;
  const auto print = [&printed](const std::string& line) { printed.append(line).push_back('\n'); };
  auto warning = report.warnings.begin();
  for (const brindle::check::Finding& finding : report.findings) {
    for (; warning != report.warnings.end() && warning->line <= finding.line; ++warning) {
      print(describeWarning(*warning));
    }
    print(brindle::check::describeFinding(finding));
  }
  for (; warning != report.warnings.end(); ++warning) print(describeWarning(*warning));
  print(brindle::check::summaryLine(report.findings));
  brindle::writeToStandardStream(brindle::StandardStream::kError, printed);
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
    brindle::writeToStandardStream(brindle::StandardStream::kError,
                                   "brindle-check: error: out of memory\n");
    return 1;
  }
}
