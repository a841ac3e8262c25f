// brindle: converts the story script test.py in the working directory into
// the Lua script output.lua beside it. Arguments are ignored.
#include <new>
#include <string>
#include <string_view>

#include "console.h"
#include "convert.h"
#include "files.h"

namespace {

constexpr const char* kInputPath = "test.py";
constexpr const char* kOutputPath = "output.lua";

// Neither allocates on the way to a file or pipe, so that running out of
// memory can still be reported.
void printConsole(std::string_view console) {
  brindle::writeToStandardStream(brindle::StandardStream::kOutput, console);
}

void printError(std::string_view text) {
  brindle::writeToStandardStream(brindle::StandardStream::kError, text);
}

// Converts, writing output.lua as the text is made, then prints; returns the
// exit code. Memory exhaustion anywhere surfaces as std::bad_alloc, which
// main reports; output.lua is then left as it was, and the new file goes
// with `output` as the exception leaves this function.
int run(brindle::Conversion& result) {
  brindle::FileContents input;
  std::string err;
  if (!brindle::readWholeFile(kInputPath, input, &err)) {
    printError("brindle: error: cannot read " + std::string(kInputPath) + ": " + err + "\n");
    return 1;
  }
  // Where output.lua cannot even be begun, the script is still converted, for
  // what it announces and warns about; the text is refused then.
  brindle::OutputFile output;
  const bool opened = output.open(kOutputPath, &err);
  brindle::convertScript(input.view(), result,
                         [&](std::string_view piece) { return opened && output.write(piece); });
  // A write that failed fails the commit, which gives its reason.
  const bool written = opened && output.commit(&err);

  printConsole(result.console);
  result.console.clear();
  for (const brindle::Warning& warning : result.warnings) {
    printError(std::string(kInputPath) + ":" + std::to_string(warning.line) +
               ": warning: " + warning.message + "\n");
  }
  if (!written) {
    printError("brindle: error: cannot write " + std::string(kOutputPath) + ": " + err + "\n");
    return 1;
  }
  return 0;
}

// run, with running out of memory reported.
int runReportingMemory() {
  brindle::Conversion result;
  try {
    return run(result);
  } catch (const std::bad_alloc&) {
    printConsole(result.console);  // what was announced before memory ran out
    printConsole("\nFailed to output\n");
    printError("brindle: error: out of memory; ");
    printError(kOutputPath);
    printError(" was not written\n");
    return 1;
  }
}

}  // namespace

int main() {
  const int code = runReportingMemory();
  // Started by a double-click, Brindle has a console window of its own, which
  // would close the moment it exits: say what happened and keep it open.
  if (brindle::hasConsoleOfItsOwn()) {
    printConsole(code == 0 ? "Brindle wrote " + std::string(kOutputPath) + " in " +
                                 brindle::currentFolder() + ".\n"
                           : "Brindle did not write " + std::string(kOutputPath) +
                                 ": the error is above.\n");
    printConsole("Press Enter to close this window.\n");
    brindle::waitForEnter();
  }
  return code;
}
