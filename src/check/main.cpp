// brindle-check [--json] [FILE...]: converts each script (test.py in the
// working directory when none is named) as brindle does, in memory, and
// reports on standard error every line of it whose Lua will not load, every
// jump to a label that is not there, every label defined twice and every
// quoted text the conversion changes, sorted by line, then a summary.
// Writes nothing. With --json, the same findings go to standard output as
// one JSON document. Exits 1 when it found anything or could not read a
// file, 2 on a usage error, 0 otherwise, so that it can stop a build.
// brindle-check --play plays one script in Lua instead (play.h) and prints
// its steps; brindle-check --map prints the story's labels and jumps as a
// Graphviz graph (story_map.h); brindle-check --lsp serves an editor, on
// standard input and output (lsp/server.h).
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "console.h"
#include "json_report.h"
#include "play.h"
#include "play_json.h"
#include "program.h"
#include "server.h"
#include "story_map.h"

namespace {

constexpr const char* kProgram = "brindle-check";
constexpr const char* kUsage =
    "usage: brindle-check [--json] [FILE...]\n"
    "       brindle-check --play [--from LABEL] [--set NAME=VALUE]... [--steps N]\n"
    "                     [--engine FILE.lua] [--json] [FILE]\n"
    "       brindle-check --map [FILE]\n"
    "       brindle-check --lsp\n";
constexpr const char* kHelp =
    "Checks story scripts as brindle converts them: every line whose Lua will\n"
    "not load, jumps to labels that are not there, labels defined twice, and\n"
    "quoted texts the conversion changes. Reads test.py in the current folder\n"
    "when no FILE is named. Writes nothing.\n"
    "\n"
    "  --json      also print the findings as one JSON document on standard output\n"
    "  --play      play the story in Lua, from its first label, and print each line\n"
    "              of dialogue, call and jump with its line, then how it ended\n"
    "  --from LABEL        start the play at LABEL\n"
    "  --set NAME=VALUE    set a variable before the play: a number, true, false\n"
    "                      or a quoted string; may be repeated\n"
    "  --steps N           stop after N entries (10000 unless given)\n"
    "  --engine FILE.lua   run this Lua first: the functions it defines are\n"
    "                      called in place of the stand-ins\n"
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
    "A play runs in a sandbox: no io, os, require, load or debug, limited memory\n"
    "and instructions; it reads the script and the engine and writes nothing.\n"
    "\n"
    "Exit status: 0 when every line will load, 1 when something will not or a\n"
    "file cannot be read, 2 on a usage error. With --play: 0 when the story\n"
    "ended by itself, 1 on an error, a script that will not load or the step\n"
    "limit, 2 on a usage error. With --map: 0 once the map is printed, 1 when\n"
    "the file cannot be read.\n";

struct Options {
  bool json = false;
  bool lsp = false;
  bool map = false;
  bool play = false;
  bool playOptions = false;  // any of the options of a play
  brindle::check::PlayOptions playing;
  std::optional<std::string> engine;
  std::vector<std::string> files;
};

std::optional<int> usageError(const std::string& message) {
  brindle::printToError(brindle::errorLine(kProgram, message) + kUsage);
  return 2;
}

// The number of entries --steps gives; 0 when it is none.
std::size_t stepsOf(std::string_view typed) {
  std::size_t steps = 0;
  for (const char c : typed) {
    if (c < '0' || c > '9' || steps > brindle::check::kMostPlaySteps) return 0;
    steps = steps * 10 + static_cast<std::size_t>(c - '0');
  }
  return steps <= brindle::check::kMostPlaySteps ? steps : 0;
}

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
    } else if (argument == "--play") {
      options.play = true;
    } else if (argument == "--from" || argument == "--set" || argument == "--steps" || argument == "--engine") {
      if (k + 1 == argc) return usageError(std::string(argument) + " needs a value");
      const std::string_view value = argv[++k];
      options.playOptions = true;
      if (argument == "--from") {
        options.playing.from = std::string(value);
      } else if (argument == "--engine") {
        options.engine = std::string(value);
      } else if (argument == "--steps") {
        options.playing.steps = stepsOf(value);
        if (options.playing.steps == 0) {
          return usageError("--steps takes a number of entries from 1 to " +
                            std::to_string(brindle::check::kMostPlaySteps) + ", not " + std::string(value));
        }
      } else {
        const std::size_t equals = value.find('=');
        brindle::check::PlayValue parsed;
        if (equals == std::string_view::npos || equals == 0) {
          return usageError("--set takes NAME=VALUE, not " + std::string(value));
        }
        if (!brindle::check::parsePlayValue(value.substr(equals + 1), parsed)) {
          return usageError("--set " + std::string(value) +
                            ": a value is a number, true, false or a quoted string");
        }
        options.playing.set.push_back({std::string(value.substr(0, equals)), std::string(value.substr(equals + 1))});
      }
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
  if (options.map && (options.json || options.lsp || options.play || options.files.size() > 1)) {
    // One map on standard output, which a report or a server would share.
    return usageError("--map takes one file at most and no other option");
  }
  if (options.play && options.lsp) return usageError("--play and --lsp go apart");
  if (options.playOptions && !options.play) return usageError("--from, --set, --steps and --engine go with --play");
  if (options.play && options.files.size() > 1) return usageError("--play plays one file");
  if (options.files.empty()) options.files.emplace_back(brindle::kScriptPath);
  return std::nullopt;
}

// What all the files came to.
struct Totals {
  std::vector<brindle::check::Finding> findings;  // of every file, for the summary
  std::size_t unreadable = 0;
};

void printReport(const std::string& path, const brindle::check::CheckReport& report, bool several);

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
  printReport(path, report, several);
  if (json) json->add(path, report, script.text);
  totals.findings.insert(totals.findings.end(), report.findings.begin(), report.findings.end());
}

// Prints the warnings and findings of one file, and with `several` the
// file's summary.
void printReport(const std::string& path, const brindle::check::CheckReport& report, bool several) {
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
}

// Plays the one file and prints its steps, or its JSON document; a script
// that will not load gets the check's report instead.
int play(const Options& options) {
  const std::string& path = options.files.front();
  brindle::ScriptFile script;
  std::string problem;
  if (!brindle::readScriptFile(path, script, problem)) {
    brindle::printToError(brindle::errorLine(kProgram, problem));
    return 1;
  }
  std::optional<brindle::check::PlayEngine> engine;
  if (options.engine) {
    brindle::ScriptFile text;
    if (!brindle::readScriptFile(*options.engine, text, problem)) {
      brindle::printToError(brindle::errorLine(kProgram, problem));
      return 1;
    }
    engine = brindle::check::PlayEngine{*options.engine, std::string(text.text)};
  }
  const brindle::check::PlayReport report =
      brindle::check::playScript(script.text, options.playing, engine ? &*engine : nullptr);
  if (!report.refusal.empty()) return *usageError(report.refusal);
  if (report.check) {
    printReport(path, *report.check, false);
    brindle::printToError(brindle::check::summaryLine(report.check->findings) + "\n");
  }
  if (options.json) {
    brindle::writeToStandardStream(brindle::StandardStream::kOutput, brindle::check::playJson(report, 2));
  } else if (!report.check) {
    brindle::writeToStandardStream(brindle::StandardStream::kOutput, brindle::check::playText(path, report));
  }
  const brindle::check::PlayEndKind end = report.end.kind;
  return end == brindle::check::PlayEndKind::pathEnd || end == brindle::check::PlayEndKind::labelEnded ? 0 : 1;
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
  if (options.play) return play(options);
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
