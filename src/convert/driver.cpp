#include "convert/driver.h"

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
bool markHidesLabel(std::string_view input, const std::vector<std::string>& tokens) {
  return input.substr(0, kByteOrderMark.size()) == kByteOrderMark &&
         tokens[0] == std::string(kByteOrderMark) + "label";
}

}  // namespace

Script readScript(std::string_view input) {
  Script script;
  std::vector<std::string> tokens;
  std::string line;
  std::string warning;
  std::size_t lineNumber = 0;
  std::size_t firstOrphan = 0;
  std::size_t orphanCount = 0;
  bool orphanHiddenByMark = false;

  LineReader reader(input);
  std::string_view raw;
  while (reader.next(raw)) {
    ++lineNumber;
    line.assign(raw);
    replaceAll(line, "    ", "\t");
    if (line.empty()) continue;
    replaceAll(line, "+=", "+= ");
    replaceAll(line, "-=", "-= ");
    splitOn(line, tokens, ' ');

    if (tokens[0] == "label") {
      LabelBlock& block = script.labelBlocks.emplace_back();
      if (tokens.size() > 1) block.name = tokens[1];
      eraseFirst(block.name, ":");
      if (block.name.empty()) {
        script.warnings.push_back({lineNumber, "label has no name; its block is named \"\""});
      }
      continue;
    }

    warning.clear();
    ScriptLine statement = rewriteStatement(line, tokens, script.variableNames, &warning);
    if (!warning.empty()) script.warnings.push_back({lineNumber, warning});
    if (script.labelBlocks.empty()) {
      if (orphanCount++ == 0) {
        firstOrphan = lineNumber;
        orphanHiddenByMark = lineNumber == 1 && markHidesLabel(input, tokens);
      }
      continue;
    }
    script.labelBlocks.back().lines.push_back(std::move(statement));
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
    script.warnings.insert(script.warnings.begin(), {firstOrphan, std::move(message)});
  }
  return script;
}

void convertScript(std::string_view input, Conversion& result) {
  Script script = readScript(input);
  result.warnings = std::move(script.warnings);
  result.lua = writeLuaOutput(script.labelBlocks, script.variableNames, result.console);
}

}  // namespace brindle
