// brindle: converts the story script test.py in the working directory into
// the Lua script output.lua beside it. Arguments are ignored, with a warning.
#include <new>
#include <string>
#include <string_view>

#include "console.h"
#include "files.h"
#include "folder.h"
#include "output_texts.h"
#include "large_buffer.h"
#include "parts.h"
#include "program.h"

namespace {

constexpr const char* kProgram = "brindle";
constexpr const char* kOutputPath = "output.lua";

// Neither allocates on the way to a file or pipe, so that running out of
// memory can still be reported.
void printConsole(std::string_view console) {
  brindle::writeToStandardStream(brindle::StandardStream::kOutput, console);
}

// A reason that goes on after a semicolon: Windows ends its texts with a
// full stop.
std::string withoutFinalStop(std::string reason) {
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  return reason;
}

// What went wrong with output.lua, in words that say what to do about it.
std::string writeProblem(const brindle::FileError& error) {
  using brindle::FileErrorKind;
  switch (error.kind) {
    case FileErrorKind::folder:
      return "it is a folder, not a file";
    case FileErrorKind::readOnly:
      return "it is read-only; make it writable and run again";
    case FileErrorKind::inUse:
      return "another program is using it; close that program and run again";
    case FileErrorKind::denied:
      return withoutFinalStop(error.reason) + "; Brindle may not write in " + brindle::folderName() +
             ": make the folder writable, or work in one of your own, and run again";
    default:
      return error.reason;
  }
}

// Converts, writing output.lua as the text is made, then prints; returns the
// exit code. Memory exhaustion anywhere surfaces as std::bad_alloc, which
// main reports; output.lua is then left as it was, and the new file goes
// with `output` as the exception leaves this function.
int run(brindle::Conversion& result) {
  brindle::ScriptFile script;
  std::string problem;
  // A large script is read where the system keeps it, mapped, which spares
  // copying it into fresh memory; should the file change meanwhile, nothing
  // is written.
  if (!brindle::readScriptFile(brindle::kScriptPath, script, problem, brindle::ReadMode::mayMap)) {
    brindle::printToError(brindle::errorLine(kProgram, problem));
    return 1;
  }
  // Where output.lua cannot even be begun, the script is still converted, for
  // what it announces and warns about; the text is refused then.
  brindle::OutputFile output;
  brindle::FileError error;
  const bool opened = output.open(kOutputPath, &error);
  // Most scripts convert to about their own size.
  if (opened) output.expect(script.text.size());
  // The script's memory goes back to the system as the conversion leaves it
  // behind, so that a large script and its Lua are not held whole at once,
  // and each part's is brought in at once by the thread that reads it.
  // The file can start over, so the text may begin before the declarations
  // are sure.
  brindle::convertInParts(
      script.text, result, [&](std::string_view piece) { return opened && output.write(piece); }, {}, 0,
      [](std::string_view read) { brindle::releasePages(read.data(), read.size()); },
      [&](std::size_t replaced, std::string_view beginning) {
        return opened && output.restart(replaced, beginning);
      },
      [](std::string_view part) { brindle::preparePages(part.data(), part.size()); });
  if (brindle::scriptChanged(brindle::kScriptPath, script, problem)) {
    brindle::printToError(brindle::errorLine(kProgram, problem));
    return 1;  // the new file goes with `output`
  }
  // A write that failed fails the commit, which gives its reason.
  const bool written = opened && output.commit(&error);

  printConsole(result.console);
  result.console.clear();
  // In batches: a script may have a warning on every line.
  std::string warnings;
  for (const brindle::Warning& warning : result.warnings) {
    brindle::appendWarning(warnings, brindle::kScriptPath, warning);
    if (warnings.size() >= std::size_t{1} << 16) {
      brindle::printToError(warnings);
      warnings.clear();
    }
  }
  if (result.textChanges > 0) {
    // Each change, with its rule, is brindle-check's to show.
    const bool one = result.textChanges == 1;
    warnings.append(brindle::kScriptPath)
        .append(": warning: the conversion changes a quoted text of ")
        .append(std::to_string(result.textChanges))
        .append(one ? " statement" : " statements")
        .append("; brindle-check shows each change and the rule that makes it\n");
  }
  if (!warnings.empty()) brindle::printToError(warnings);
  if (!written) {
    brindle::printToError(brindle::errorLine(
        kProgram, "cannot write " + std::string(kOutputPath) + ": " + writeProblem(error)));
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
    printConsole(brindle::kFailedToOutput);
    brindle::printToError("brindle: error: out of memory; ");
    brindle::printToError(kOutputPath);
    brindle::printToError(" was not written\n");
    return 1;
  }
}

}  // namespace

int main(int argc, char**) {
  // Before any thread starts: the conversion's tables of names and labels
  // are built on several at once.
  brindle::keepSmallBlocksOnHugePages();
  // Past a limit on file sizes, writing output.lua fails and is reported,
  // as on a full disk.
  brindle::failWritesPastFileSizeLimit();
  // A file dropped onto the program arrives as an argument; say what is
  // read instead.
  if (argc > 1) {
    brindle::printToError("brindle: warning: Brindle takes no arguments and ignores them; it reads " +
                          std::string(brindle::kScriptPath) + " in " + brindle::folderName() + "\n");
  }
  const int code = runReportingMemory();
  // Started by a double-click, Brindle has a console window of its own, which
  // would close the moment it exits: say what happened and keep it open.
  if (brindle::hasConsoleOfItsOwn()) {
    printConsole(code == 0 ? "Brindle wrote " + std::string(kOutputPath) + " in " +
                                 brindle::folderName() + ".\n"
                           : "Brindle did not write " + std::string(kOutputPath) +
                                 ": the error is above.\n");
    printConsole("Press Enter to close this window.\n");
    brindle::waitForEnter();
  }
  return code;
}
