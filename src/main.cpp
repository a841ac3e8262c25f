// brindle: converts the story script test.py in the working directory into
// the Lua script output.lua beside it. Arguments are ignored.
#include <cstdio>
#include <new>
#include <string>

#include "convert.h"
#include "files.h"

namespace {

constexpr const char* kInputPath = "test.py";
constexpr const char* kOutputPath = "output.lua";

void printConsole(const std::string& console) {
  std::fwrite(console.data(), 1, console.size(), stdout);
  std::fflush(stdout);
}

// Converts, writing output.lua as the text is made, then prints; returns the
// exit code. Memory exhaustion anywhere surfaces as std::bad_alloc, which
// main reports; output.lua is then left as it was, and the new file goes
// with `output` as the exception leaves this function.
int run(brindle::Conversion& result) {
  brindle::FileContents input;
  std::string err;
  if (!brindle::readWholeFile(kInputPath, input, &err)) {
    std::fprintf(stderr, "brindle: error: cannot read %s: %s\n", kInputPath, err.c_str());
    return 1;
  }
  // Where output.lua cannot even be begun, the script is still converted, for
  // what it announces and warns about; the text is refused then.
  brindle::OutputFile output;
  const bool opened = output.open(kOutputPath, &err);
  brindle::convertScript(input.view(), result,
                         [&](std::string_view piece) { return opened && output.write(piece); });
  if (!result.error.empty()) {
    std::fprintf(stderr, "brindle: error: cannot read %s: %s\n", kInputPath, result.error.c_str());
    return 1;  // the new file goes with `output`; output.lua stays as it was
  }
  // A write that failed fails the commit, which gives its reason.
  const bool written = opened && output.commit(&err);

  printConsole(result.console);
  result.console.clear();
  for (const brindle::Warning& warning : result.warnings) {
    std::fprintf(stderr, "%s:%zu: warning: %s\n", kInputPath, warning.line,
                 warning.message.c_str());
  }
  if (!written) {
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
