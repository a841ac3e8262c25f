#include "driver.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "line.h"
#include "rewrite.h"
#include "triggers.h"
#include "utf16.h"
#include "writer.h"

namespace brindle {
namespace {

std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Walks `input` line by line: opens a block at every `label` statement
// (sink.open(name, line)) and rewrites every other non-empty line into one
// record, reused from line to line, which goes to sink.add(record, line)
// unless it comes before the first label; a jump_out there with a target
// goes to sink.jump(target, line) first. Variables go to `variableNames`
// unless it is null, each new one to sink.variable(name, line) too, warnings
// to `warnings`. Returns the number of lines, one more than the line feeds.
template <typename Sink>
std::size_t readLines(std::string_view input, VariableNames* variableNames,
                      std::vector<Warning>& warnings, Sink& sink) {
  Words words;
  ScriptLine statement;
  std::string& line = statement.text;  // normalised, then rewritten in place
  std::string warning;
  std::string jumpTarget;
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
      sink.open(name, lineNumber);
      inLabel = true;
      continue;
    }

    if (variableNames) {
      const std::string_view name = variableOf(words);
      const std::size_t known = variableCount(*variableNames);
      recordVariable(*variableNames, name);
      if (variableCount(*variableNames) != known) sink.variable(name, lineNumber);
    }
    if (!inLabel && orphanCount++ == 0) firstOrphan = lineNumber;
    warning.clear();
    jumpTarget.clear();
    rewriteStatement(words, triggers, statement, &warning, &jumpTarget);
    if (!warning.empty()) warnings.push_back({lineNumber, warning});
    if (!inLabel) continue;
    if (!jumpTarget.empty()) sink.jump(jumpTarget, lineNumber);
    sink.add(statement, lineNumber);
  }

  if (orphanCount > 0) {
    std::string message =
        plural(orphanCount, "statement", "statements") +
        " before the first label " + (orphanCount == 1 ? "belongs" : "belong") +
        " to no label and " + (orphanCount == 1 ? "was" : "were") +
        " left out of the output";
    warnings.insert(warnings.begin(), {firstOrphan, std::move(message)});
  }
  return lineNumber;
}

// Keeps the labels and the jumps' targets, for the checks of label names.
struct ReferenceSink {
  LabelReferences& references;

  void open(std::string_view name, std::size_t line) {
    addLabel(references, name, line);
  }
  void jump(std::string_view target, std::size_t line) {
    addJump(references, target, line);
  }
  void variable(std::string_view, std::size_t) {}
};

// Keeps every block, for readScript.
struct AllBlocks : ReferenceSink {
  std::vector<LabelBlock>& blocks;

  void open(std::string_view name, std::size_t line) {
    ReferenceSink::open(name, line);
    blocks.push_back({std::string(name), {}});
  }
  void add(const ScriptLine& statement, std::size_t) { blocks.back().lines.push_back(statement); }
};

// Hands everything on to the caller's functions.
struct VisitingSink : ReferenceSink {
  const ScriptVisitor& visitor;

  void open(std::string_view name, std::size_t line) {
    ReferenceSink::open(name, line);
    if (visitor.label) visitor.label(name, line);
  }
  void add(const ScriptLine& statement, std::size_t line) {
    if (visitor.statement) visitor.statement(statement, line);
  }
  void variable(std::string_view name, std::size_t line) {
    if (visitor.variable) visitor.variable(name, line);
  }
};

// Writes the tables, handing the text on whenever an entry is complete and
// enough has gathered. Bytes before that point never change again: the
// comma between entries is written when the next one begins.
struct StreamedTables : ReferenceSink {
  TableWriter& tables;
  LuaOutput& output;

  void open(std::string_view name, std::size_t line) {
    ReferenceSink::open(name, line);
    tables.open(name);
    output.flushIfFull();
  }
  void add(const ScriptLine& statement, std::size_t) {
    tables.add(statement);
    if (!tables.insideEntry()) output.flushIfFull();
  }
};

}  // namespace

ScriptText scriptText(std::string_view file, std::string& decoded) {
  constexpr char kEndOfFile = '\x1A';  // Ctrl-Z
  const auto dropEndOfFile = [](auto& text) {
    while (!text.empty() && text.back() == kEndOfFile) text.remove_suffix(1);
  };
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
  constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";
  const bool bigEndian = file.starts_with(kUtf16BigEndianMark);
  if (!bigEndian && !file.starts_with(kUtf16LittleEndianMark)) {
    if (file.starts_with(kUtf8Mark)) file.remove_prefix(kUtf8Mark.size());
    dropEndOfFile(file);
    return {file, {}};
  }
  file.remove_prefix(2);
  if (file.size() % 2 != 0 && file.back() == kEndOfFile) file.remove_suffix(1);
  const Utf16Decoding decoding = decodeUtf16(file, bigEndian, decoded);
  constexpr const char* kWhatToDo = "; save it as UTF-8 and run again";
  switch (decoding.fault) {
    case Utf16Fault::none:
      break;
    case Utf16Fault::oddLength:
      return {{}, std::string("it is UTF-16 text, but it ends in half a character") + kWhatToDo};
    case Utf16Fault::unpairedSurrogate:
      return {{}, "it is UTF-16 text, but line " + std::to_string(decoding.line) +
                      " holds half of a character (an unpaired surrogate)" + kWhatToDo};
  }
  std::string_view text = decoded;
  dropEndOfFile(text);
  return {text, {}};
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

void warnOfUtf16WithoutMark(std::string_view script, std::vector<Warning>& warnings) {
  if (!looksLikeUtf16(script)) return;
  warnings.insert(warnings.begin(),
                  {1, "this file looks like UTF-16 text without a byte-order mark, which is "
                      "read here as the bytes it is; save it as UTF-8"});
}

void warnOfLabelProblems(const std::vector<Stretch>& stretches, std::vector<Warning>& warnings) {
  std::vector<Warning> found;
  std::vector<Warning> redefinedLabels;
  const LabelProblemCounts counts = findLabelProblems(stretches, found, redefinedLabels);
  // The rest of a kind is counted on the line of the last one shown.
  const auto countRest = [](std::vector<Warning>& shown, std::size_t all, const char* what) {
    if (all <= shown.size()) return;
    shown.push_back({shown.back().line, std::to_string(all - shown.size()) + " more " + what +
                                            " not shown; brindle-check lists them all"});
  };
  countRest(found, counts.undefinedTargets, "jumps to labels this script does not define are");
  countRest(redefinedLabels, counts.redefinedLabels, "labels defined again are");
  if (found.empty() && redefinedLabels.empty()) return;
  for (auto* shown : {&found, &redefinedLabels}) {
    std::move(shown->begin(), shown->end(), std::back_inserter(warnings));
  }
  std::stable_sort(warnings.begin(), warnings.end(),
                   [](const Warning& a, const Warning& b) { return a.line < b.line; });
}

Script readScript(std::string_view input) {
  Script script;
  std::string decoded;
  ScriptText text = scriptText(input, decoded);
  if (!text.error.empty()) {
    script.error = std::move(text.error);
    return script;
  }
  LabelReferences references(kMostLabelWarnings);
  AllBlocks sink{{references}, script.labelBlocks};
  readLines(text.text, &script.variableNames, script.warnings, sink);
  warnOfLoneCarriageReturns(text.text, script.warnings);
  warnOfUtf16WithoutMark(text.text, script.warnings);
  warnOfLabelProblems({{&references, 0}}, script.warnings);
  return script;
}

std::string visitScript(std::string_view file, const ScriptVisitor& visitor,
                        std::vector<Warning>& warnings, LabelReferences& references) {
  std::string decoded;
  ScriptText text = scriptText(file, decoded);
  if (!text.error.empty()) return std::move(text.error);
  VariableNames variableNames;
  VisitingSink sink{{references}, visitor};
  readLines(text.text, &variableNames, warnings, sink);
  warnOfLoneCarriageReturns(text.text, warnings);
  warnOfUtf16WithoutMark(text.text, warnings);
  return {};
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

std::size_t convertTables(std::string_view input, LuaOutput& output, std::string& console,
                          std::vector<Warning>& warnings, LabelReferences& references,
                          std::size_t limit) {
  TableWriter tables(output.buffer(), console, limit, output.marks());
  StreamedTables sink{{references}, tables, output};
  const std::size_t lines = readLines(input, nullptr, warnings, sink);
  tables.close();
  return lines;
}

}  // namespace brindle
