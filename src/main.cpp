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

}  // namespace

int main() {
  std::string input;
  std::string err;
  if (!brindle::readWholeFile(kInputPath, input, &err)) {
    std::fprintf(stderr, "brindle: error: cannot read %s: %s\n", kInputPath, err.c_str());
    return 1;
  }

  brindle::Conversion result;
  // Reserving the Lua text's room before convertScript does lets the system
  // back it with huge pages.
  brindle::reserveLargeBuffer(result.lua, brindle::outputReserve(input.size()));
  try {
    brindle::convertScript(input, result);
  } catch (const std::bad_alloc&) {
    printConsole(result.console);
    std::fputs("\nFailed to output\n", stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "brindle: error: out of memory; %s was not written\n", kOutputPath);
    return 1;
  }
  input = std::string();  // the input is no longer needed; give its memory back

  printConsole(result.console);
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
