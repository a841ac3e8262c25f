// brindle-check [--json] [FILE...]: converts each script (test.py in the
// working directory when none is named) as brindle does, in memory, and
// reports on standard error every line of it whose Lua will not load, every
// jump to a label that is not there, every label defined twice and every
// quoted text the conversion changes, sorted by line, then a summary.
// Writes nothing. With --json, the same findings go to standard output as
// one JSON document. Exits 1 when it found anything or could not read a
// file, 2 on a usage error, 0 otherwise, so that it can stop a build.
// brindle-check --lsp serves an editor instead, on standard input and
// output (lsp/server.h); brindle-check --map prints the story's labels and
// jumps as a Graphviz graph (story_map.h).
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "console.h"
#include "json_report.h"
#include "program.h"
#include "server.h"
#include "story_map.h"

namespace {

constexpr const char* kProgram = "brindle-check";
constexpr const char* kUsage =
    "usage: brindle-check [--json] [FILE...]\n       brindle-check --map [FILE]\n       brindle-check --lsp\n";
constexpr const char* kHelp =
    "Checks story scripts as brindle converts them: every line whose Lua will\n"
    "not load, jumps to labels that are not there, labels defined twice, and\n"
    "quoted texts the conversion changes. Reads test.py in the current folder\n"
    "when no FILE is named. Writes nothing.\n"
    "\n"
    "  --json      also print the findings as one JSON document on standard output\n"
    "  --map       print the story's map instead, as a Graphviz graph on standard\n"
    "              output: a box per label (its line and entries; the first label's\n"
    "              border doubled, a label no jump_out reaches dashed and grey), a\n"
    "              red octagon per target no label defines, an arrow per pair of\n"
    "              labels a jump_out joins; draw it with dot -Tsvg\n"
    "  --lsp       serve an editor: the Language Server Protocol on standard input\n"
    "              and output\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status: 0 when every line will load, 1 when something will not or a\n"
    "file cannot be read, 2 on a usage error. With --map: 0 once the map is\n"
    "printed, 1 when the file cannot be read.\n";

struct Options {
  bool json = false;
  bool lsp = false;
  bool map = false;
  std::vector<std::string> files;
};

// The options, or the exit code of a run that ends here.
std::optional<int> parseArguments(int argc, char** argv, Options& options) {
  bool filesOnly = false;
  for (int k = 1; k < argc; ++k) {
    const std::string_view argument = argv[k];
    if (filesOnly || argument.empty() || argument[0] != '-' || argument == "-") {
      options.files.emplace_back(argument);
    } else if (argument == "--") {
      filesOnly = true;
    } else if (argument == "--json") {
      options.json = true;
    } else if (argument == "--lsp") {
      options.lsp = true;
    } else if (argument == "--map") {
      options.map = true;
    } else if (argument == "--help") {
      brindle::writeToStandardStream(brindle::StandardStream::kOutput, std::string(kUsage) + kHelp);
      return 0;
    } else if (argument == "--version") {
      brindle::writeToStandardStream(brindle::StandardStream::kOutput,
                                     std::string(kProgram) + " " BRINDLE_VERSION "\n");
      return 0;
    } else {
      brindle::printToError(brindle::errorLine(kProgram, "unknown option " + std::string(argument)) +
                            kUsage);
      return 2;
    }
  }
  if (options.lsp && (options.json || !options.files.empty())) {
    // The editor names the files; a language server has no report to print.
    brindle::printToError(brindle::errorLine(kProgram, "--lsp takes no other option or file") + kUsage);
    return 2;
  }
  if (options.map && (options.json || options.lsp || options.files.size() > 1)) {
    // One map on standard output, which a report or a server would share.
    brindle::printToError(brindle::errorLine(kProgram, "--map takes one file at most and no other option") +
                          kUsage);
    return 2;
  }
  if (options.files.empty()) options.files.emplace_back(brindle::kScriptPath);
  return std::nullopt;
}

// What all the files came to.
struct Totals {
  std::vector<brindle::check::Finding> findings;  // of every file, for the summary
  std::size_t unreadable = 0;
};

// Checks one file and prints what it found; adds it to `json` if asked.
void checkFile(const std::string& path, bool several, Totals& totals,
               brindle::check::JsonReport* json) {
  brindle::ScriptFile script;
  std::string problem;
  if (!brindle::readScriptFile(path, script, problem)) {
    brindle::printToError(brindle::errorLine(kProgram, problem));
    if (json) json->addUnreadable(path, problem);
    ++totals.unreadable;
    return;
  }
  const brindle::check::CheckReport report = brindle::check::checkScript(script.text);
  // Warnings and findings together in the order of their lines, a warning
  // before a finding of the same line, written in batches: a script may
  // have a finding on every line.
  std::string printed;
  const auto flushIfFull = [&printed] {
    if (printed.size() < std::size_t{1} << 16) return;
    brindle::printToError(printed);
    printed.clear();
  };
  brindle::check::inPrintedOrder(
      report,
      [&](const brindle::Warning& warning) {
        brindle::appendWarning(printed, path, warning);
        flushIfFull();
      },
      [&](const brindle::check::Finding& finding) {
        brindle::appendDiagnostic(printed, path, finding.line, "error", brindle::check::messageOf(finding));
        flushIfFull();
      });
  if (several) {
    printed.append(kProgram).append(": ").append(path).append(": ");
    printed.append(brindle::check::summaryLine(report.findings).substr(std::string_view(kProgram).size() + 2));
    printed.append("\n");
  }
  brindle::printToError(printed);
  if (json) json->add(path, report, script.text);
  totals.findings.insert(totals.findings.end(), report.findings.begin(), report.findings.end());
}

// Prints the map of the one file as DOT.
int printMap(const std::string& path) {
  brindle::ScriptFile script;
  std::string problem;
  if (!brindle::readScriptFile(path, script, problem)) {
    brindle::printToError(brindle::errorLine(kProgram, problem));
    return 1;
  }
  brindle::writeToStandardStream(brindle::StandardStream::kOutput,
                                 brindle::mapDot(brindle::storyMapOf(script.text)));
  return 0;
}

int run(const Options& options) {
  if (options.map) return printMap(options.files.front());
  std::optional<brindle::check::JsonReport> json;
  if (options.json) json.emplace();
  Totals totals;
  const bool several = options.files.size() > 1;
  for (const std::string& path : options.files) {
    checkFile(path, several, totals, json ? &*json : nullptr);
  }
  std::string summary = brindle::check::summaryLine(totals.findings);
  if (several) {
    summary += " in " + std::to_string(options.files.size()) + " files";
    if (totals.unreadable > 0) {
      summary += "; " + std::to_string(totals.unreadable) +
                 (totals.unreadable == 1 ? " file could not be read" : " files could not be read");
    }
  }
  if (!several && totals.unreadable > 0) {
    summary.clear();  // the error says it all
  } else {
    brindle::printToError(summary + "\n");
  }
  if (json) brindle::writeToStandardStream(brindle::StandardStream::kOutput, json->text(summary));
  return totals.findings.empty() && totals.unreadable == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const std::optional<int> code = parseArguments(argc, argv, options)) return *code;
  if (options.lsp) {
    return brindle::lsp::serve(brindle::readStandardInput, brindle::writeStandardOutputBytes);
  }
  int code = 1;
  try {
    code = run(options);
  } catch (const std::bad_alloc&) {
    brindle::printToError(brindle::errorLine(kProgram, "out of memory"));
  }
  // Started by a double-click, brindle-check has a console window of its
  // own, which would close the moment it exits: say what it found and keep
  // it open.
  if (brindle::hasConsoleOfItsOwn() && !options.map) {
    brindle::writeToStandardStream(
        brindle::StandardStream::kOutput,
        code == 0 ? "brindle-check found nothing that will not load.\n"
                  : "brindle-check found what is above.\n");
    brindle::writeToStandardStream(brindle::StandardStream::kOutput,
                                   "Press Enter to close this window.\n");
    brindle::waitForEnter();
  }
  return code;
}
