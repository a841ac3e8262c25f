#include "driver.h"

#include <utility>

#include "line.h"
#include "rewrite.h"
#include "triggers.h"
#include "writer.h"

namespace brindle {
namespace {

std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Walks `input` line by line: opens a block at every `label` statement
// (sink.open(name)) and rewrites every other non-empty line into one record,
// reused from line to line, which goes to sink.add() unless it comes before
// the first label. Variables go to `variableNames` unless it is null,
// warnings to `warnings`.
template <typename Sink>
void readLines(std::string_view input, VariableNames* variableNames,
               std::vector<Warning>& warnings, Sink& sink) {
  Words words;
  ScriptLine statement;
  std::string& line = statement.text;  // normalised, then rewritten in place
  std::string warning;
  std::size_t lineNumber = 0;
  std::size_t firstOrphan = 0;
  std::size_t orphanCount = 0;
  bool inLabel = false;

  ScriptLines lines(input);
  ScannedLine scanned;
  while (lines.next(scanned)) {
    ++lineNumber;
    const std::string_view raw = scanned.text;
    if (raw.empty()) continue;  // an empty line is dropped
    const Normalised normalised = normaliseLine(raw, scanned.triggers, line);
    // Without a blank run to turn into tabs, a line with no whitespace but
    // blanks keeps none but its leading tabs.
    words.reset(line, normalised.leadingTabs,
                scanned.blanksOnly && (scanned.triggers & kBlankRunTrigger) == 0);
    const TriggerSet triggers = normalised.triggers;

    if (isLabelStatement(words)) {
      const std::string name = labelName(words);
      if (name.empty()) {
        warnings.push_back({lineNumber, "label has no name; its block is named \"\""});
      }
      sink.open(name);
      inLabel = true;
      continue;
    }

    if (variableNames) recordVariable(*variableNames, variableOf(words));
    if (!inLabel && orphanCount++ == 0) firstOrphan = lineNumber;
    warning.clear();
    rewriteStatement(words, triggers, statement, &warning);
    if (!warning.empty()) warnings.push_back({lineNumber, warning});
    if (inLabel) sink.add(statement);
  }

  if (orphanCount > 0) {
    std::string message =
        plural(orphanCount, "statement", "statements") +
        " before the first label " + (orphanCount == 1 ? "belongs" : "belong") +
        " to no label and " + (orphanCount == 1 ? "was" : "were") +
        " left out of the output";
    warnings.insert(warnings.begin(), {firstOrphan, std::move(message)});
  }
}

// Keeps every block, for readScript.
struct AllBlocks {
  std::vector<LabelBlock>& blocks;

  void open(std::string_view name) { blocks.push_back({std::string(name), {}}); }
  void add(const ScriptLine& statement) { blocks.back().lines.push_back(statement); }
};

// Writes the tables, handing the text on whenever an entry is complete and
// enough has gathered. Bytes before that point never change again: the
// comma between entries is written when the next one begins.
struct StreamedTables {
  TableWriter& tables;
  LuaOutput& output;

  void open(std::string_view name) {
    tables.open(name);
    output.flushIfFull();
  }
  void add(const ScriptLine& statement) {
    tables.add(statement);
    if (!tables.insideEntry()) output.flushIfFull();
  }
};

}  // namespace

std::string_view scriptText(std::string_view file) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  constexpr char kEndOfFile = '\x1A';  // Ctrl-Z
  if (file.substr(0, kByteOrderMark.size()) == kByteOrderMark) file.remove_prefix(kByteOrderMark.size());
  while (!file.empty() && file.back() == kEndOfFile) file.remove_suffix(1);
  return file;
}

void warnOfLoneCarriageReturns(std::string_view script, std::vector<Warning>& warnings) {
  if (script.find('\n') != std::string_view::npos || script.find('\r') == std::string_view::npos) {
    return;
  }
  warnings.insert(warnings.begin(),
                  {1, "the lines of this file end in a carriage return alone, which does not "
                      "end a line here, so the whole file was read as one line; save it with "
                      "Windows (CR LF) or Unix (LF) line ends"});
}

Script readScript(std::string_view input) {
  Script script;
  AllBlocks sink{script.labelBlocks};
  const std::string_view text = scriptText(input);
  readLines(text, &script.variableNames, script.warnings, sink);
  warnOfLoneCarriageReturns(text, script.warnings);
  return script;
}

void LuaOutput::flush() {
  callPathEnds(buffer_, passed_, marks_);
  passed_ = buffer_.size();
  if (taker_) {
    buffer_.erase(0, (*taker_)(buffer_));
    passed_ = buffer_.size();
    return;
  }
  if (!sink_) return;
  if (accepted_ && !buffer_.empty()) accepted_ = sink_(buffer_);
  buffer_.clear();
  passed_ = 0;
}

void LuaOutput::handOn(std::string_view text) {
  flush();
  if (!sink_) {
    buffer_.append(text);
    passed_ = buffer_.size();
    return;
  }
  if (accepted_ && !text.empty()) accepted_ = sink_(text);
}

void convertTables(std::string_view input, LuaOutput& output, std::string& console,
                   std::vector<Warning>& warnings, std::size_t limit) {
  TableWriter tables(output.buffer(), console, limit, output.marks());
  StreamedTables sink{tables, output};
  readLines(input, nullptr, warnings, sink);
  tables.close();
}

}  // namespace brindle
