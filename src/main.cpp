// brindle: converts the story script test.py in the working directory into
// the Lua script output.lua beside it. Arguments are ignored.
#include <cstdio>
#include <new>
#include <string>

#include "convert/driver.h"
#include "io/files.h"
#include "io/memory.h"

namespace {

constexpr const char* kInputPath = "test.py";
constexpr const char* kOutputPath = "output.lua";

void printConsole(const std::string& console) {
  std::fwrite(console.data(), 1, console.size(), stdout);
  std::fflush(stdout);
}

// Converts, prints and writes; returns the exit code. Memory exhaustion
// anywhere surfaces as std::bad_alloc, which main reports.
int run(brindle::Conversion& result) {
  std::string input;
  std::string err;
  if (!brindle::readWholeFile(kInputPath, input, &err)) {
    std::fprintf(stderr, "brindle: error: cannot read %s: %s\n", kInputPath, err.c_str());
    return 1;
  }
  // Reserving the Lua text's room before convertScript does lets the system
  // back it with huge pages.
  brindle::reserveLargeBuffer(result.lua, brindle::outputReserve(input.size()));
  brindle::convertScript(input, result);
  input = std::string();  // no longer needed; give its memory back before writing

  printConsole(result.console);
  result.console.clear();
  for (const brindle::Warning& warning : result.warnings) {
    std::fprintf(stderr, "%s:%zu: warning: %s\n", kInputPath, warning.line,
                 warning.message.c_str());
  }
  if (!brindle::replaceFile(kOutputPath, result.lua, &err)) {
    std::fprintf(stderr, "brindle: error: cannot write %s: %s\n", kOutputPath, err.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main() {
  brindle::Conversion result;
  try {
    return run(result);
  } catch (const std::bad_alloc&) {
    printConsole(result.console);  // what was announced before memory ran out
    std::fputs("\nFailed to output\n", stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "brindle: error: out of memory; %s was not written\n", kOutputPath);
    return 1;
  }
}
