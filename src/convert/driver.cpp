#include "convert/driver.h"

#include <new>

#include "convert/line.h"
#include "convert/rewrite.h"
#include "convert/writer.h"
#include "text/string_utils.h"

namespace brindle {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Hands out the input's lines as views, in order. A carriage return directly
// before a line feed is part of the line end; any other one stays in the line.
class LineReader {
 public:
  explicit LineReader(std::string_view input) : rest_(input) {}

  bool next(std::string_view& line) {
    if (done_) return false;
    const std::size_t end = rest_.find('\n');
    if (end == std::string_view::npos) {
      line = rest_;  // the text after the last line feed, possibly empty
      done_ = true;
      return true;
    }
    line = rest_.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    rest_.remove_prefix(end + 1);
    return true;
  }

 private:
  std::string_view rest_;
  bool done_ = false;
};

std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Would the first line have opened a block if it did not begin with a
// byte-order mark?
bool markHidesLabel(std::string_view input, std::string_view firstWord) {
  return input.substr(0, kByteOrderMark.size()) == kByteOrderMark &&
         firstWord == "\xEF\xBB\xBFlabel";
}

// Walks `input` line by line: opens a block at every `label` statement
// (sink.open(name)) and rewrites every other non-empty line into one record,
// reused from line to line, which goes to sink.add() unless it comes before
// the first label. Variables and warnings go to `variableNames` and
// `warnings`.
template <typename Sink>
void readLines(std::string_view input, VariableNames& variableNames,
               std::vector<Warning>& warnings, Sink& sink) {
  std::string line;
  Words words;
  ScriptLine statement;
  std::string warning;
  std::size_t lineNumber = 0;
  std::size_t firstOrphan = 0;
  std::size_t orphanCount = 0;
  bool orphanHiddenByMark = false;
  bool inLabel = false;

  LineReader reader(input);
  PlainLineFinder plainLines(input);
  std::string_view raw;
  while (reader.next(raw)) {
    ++lineNumber;
    if (raw.empty()) continue;
    const bool plain = plainLines.isPlain(raw);
    if (plain) {
      normalisePlainLine(raw, line);
    } else {
      normaliseLine(raw, line);
    }
    splitWords(line, words);

    if (words.first() == "label") {
      std::string name(words.second());
      eraseFirst(name, ":");
      if (name.empty()) {
        warnings.push_back({lineNumber, "label has no name; its block is named \"\""});
      }
      sink.open(name);
      inLabel = true;
      continue;
    }

    warning.clear();
    rewriteStatementInto(line, words, variableNames, &warning, statement, !plain);
    if (!warning.empty()) warnings.push_back({lineNumber, warning});
    if (inLabel) {
      sink.add(statement);
    } else if (orphanCount++ == 0) {
      firstOrphan = lineNumber;
      orphanHiddenByMark = lineNumber == 1 && markHidesLabel(input, words.first());
    }
  }

  if (orphanCount > 0) {
    std::string message =
        plural(orphanCount, "statement", "statements") +
        " before the first label " + (orphanCount == 1 ? "belongs" : "belong") +
        " to no label and " + (orphanCount == 1 ? "was" : "were") +
        " left out of the output";
    if (orphanHiddenByMark) {
      message += " (the file starts with a UTF-8 byte-order mark, which kept "
                 "line 1 from being read as a label)";
    }
    warnings.insert(warnings.begin(), {firstOrphan, std::move(message)});
  }
}

// Keeps every block, for readScript.
struct AllBlocks {
  std::vector<LabelBlock>& blocks;

  void open(std::string_view name) { blocks.push_back({std::string(name), {}}); }
  void add(const ScriptLine& statement) { blocks.back().lines.push_back(statement); }
};

}  // namespace

std::size_t outputReserve(std::size_t inputSize) {
  constexpr std::size_t kTimesInput = sizeof(void*) >= 8 ? 4 : 2;
  return kTimesInput * inputSize + 4096;
}

Script readScript(std::string_view input) {
  Script script;
  AllBlocks sink{script.labelBlocks};
  readLines(input, script.variableNames, script.warnings, sink);
  return script;
}

void convertScript(std::string_view input, Conversion& result) {
  // The tables come first, straight into the result, each statement as soon
  // as its entry is known; the header and the declarations, known only at
  // the end, go in front of them then. Where the reservation cannot be had,
  // the text grows as it is written instead.
  std::string& lua = result.lua;
  lua.clear();
  result.warnings.clear();
  try {
    lua.reserve(outputReserve(input.size()));
  } catch (const std::bad_alloc&) {
  }
  VariableNames variableNames;
  TableWriter tables(lua, result.console);
  readLines(input, variableNames, result.warnings, tables);
  tables.close();

  std::string head(kLuaHeader);
  appendDeclarations(variableNames, head);
  lua.insert(0, head);
}

}  // namespace brindle
