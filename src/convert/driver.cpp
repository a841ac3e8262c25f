#include "convert/driver.h"

#include <algorithm>
#include <future>
#include <new>
#include <system_error>
#include <thread>

#include "convert/line.h"
#include "convert/rewrite.h"
#include "convert/shortcut.h"
#include "convert/writer.h"
#include "memory/large_buffer.h"
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
// the first label. A sink that takes shortcuts gets the statements that
// shortcutStatement makes through sink.addShortcut() instead; these record
// no variables. Variables go to `variableNames` unless it is null, warnings
// to `warnings`. Returns how many lines it read: one more than the line
// feeds in `input`.
template <typename Sink>
std::size_t readLines(std::string_view input, VariableNames* variableNames,
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
    if constexpr (Sink::kTakesShortcuts) {
      bool mayHoldPathEnd = true;
      if (inLabel && shortcutStatement(raw, plain, statement, mayHoldPathEnd)) {
        sink.addShortcut(statement, mayHoldPathEnd);
        continue;
      }
    }
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
  return lineNumber;
}

// Keeps every block, for readScript. Every line takes the general way here,
// so that readScript gives the plain account of a script the faster ways of
// convertScript are checked against.
struct AllBlocks {
  static constexpr bool kTakesShortcuts = false;
  std::vector<LabelBlock>& blocks;

  void open(std::string_view name) { blocks.push_back({std::string(name), {}}); }
  void add(const ScriptLine& statement) { blocks.back().lines.push_back(statement); }
};

// The Lua text on its way to a sink: gathered in `buffer` and handed on in
// pieces. Without a sink everything stays in the buffer.
class LuaOutput {
 public:
  LuaOutput(std::string& buffer, const LuaSink& sink, std::size_t pieceSize)
      : buffer_(buffer), sink_(sink), pieceSize_(pieceSize) {}

  std::string& buffer() { return buffer_; }
  bool accepted() const { return accepted_; }

  void flushIfFull() {
    if (sink_ && buffer_.size() >= pieceSize_) flush();
  }

  void flush() {
    if (!sink_) return;
    if (accepted_ && !buffer_.empty()) accepted_ = sink_(buffer_);
    buffer_.clear();
  }

  // Adds finished text, handing it on as it is rather than copying it.
  void pass(std::string_view text) {
    if (!sink_) {
      buffer_.append(text);
      return;
    }
    flush();
    if (accepted_ && !text.empty()) accepted_ = sink_(text);
  }

 private:
  std::string& buffer_;
  const LuaSink& sink_;
  std::size_t pieceSize_;
  bool accepted_ = true;
};

// Writes the tables, handing the text on whenever an entry is complete and
// enough has gathered. Bytes before that point never change again: the
// comma between entries is written when the next one begins.
struct StreamedTables {
  static constexpr bool kTakesShortcuts = true;
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
  void addShortcut(const ScriptLine& statement, bool mayHoldPathEnd) {
    mayHoldPathEnd ? tables.add(statement) : tables.addWithoutPathEnd(statement);
    if (!tables.insideEntry()) output.flushIfFull();
  }
};

// Converts one part of the input, writing its tables to `output`; returns
// how many lines it read, counting the empty one after a final line feed.
// Every part after the first begins with a `label` line, so a part's tables
// are the very tables the whole input gives for those lines.
std::size_t convertPart(std::string_view input, LuaOutput& output, std::string& console,
                        std::vector<Warning>& warnings) {
  TableWriter tables(output.buffer(), console);
  StreamedTables sink{tables, output};
  // The variables were found before, and their declarations written.
  const std::size_t lines = readLines(input, nullptr, warnings, sink);
  tables.close();
  return lines;
}

// Converts a part into a text of its own, kept whole.
void convertKept(std::string_view input, Conversion& part, std::size_t& lines) {
  reserveLargeBuffer(part.lua, outputReserve(input.size()));
  const LuaSink none;
  LuaOutput kept(part.lua, none, 0);
  lines = convertPart(input, kept, part.console, part.warnings);
}

// A part converted on a thread of its own: its variables first, handed over
// as soon as they are found, since the declarations of all of them come
// before the first table; then its text. `done` is the last member, so that
// it is destroyed first, which waits for the thread to end.
struct Apart {
  std::promise<VariableNames> variables;
  std::future<VariableNames> found = variables.get_future();
  Conversion conversion;
  std::size_t lines = 0;
  std::future<void> done;
};

void convertApart(std::string_view input, Apart& part) {
  try {
    part.variables.set_value(findVariables(input));
  } catch (...) {
    part.variables.set_exception(std::current_exception());
    throw;
  }
  convertKept(input, part.conversion, part.lines);
}

// Where to cut `input` into at most `parts` parts: offsets of lines that
// begin with "label" and one blank, each near an equal share of the input;
// the first is 0. Such a line opens a block whatever follows, as its first
// word is "label". With more blanks it may not be: four of them become a
// tab, which joins "label" to the next word.
std::vector<std::size_t> cutPoints(std::string_view input, std::size_t parts) {
  constexpr std::string_view kLabelLine = "\nlabel ";
  std::vector<std::size_t> cuts{0};
  std::size_t from = 0;
  for (std::size_t k = 1; k < parts; ++k) {
    from = std::max(input.size() / parts * k, from);
    std::size_t found = input.find(kLabelLine, from);
    while (found != std::string_view::npos && found + kLabelLine.size() < input.size() &&
           input[found + kLabelLine.size()] == ' ') {
      found = input.find(kLabelLine, found + 1);
    }
    if (found == std::string_view::npos) break;
    cuts.push_back(found + 1);
    from = found + 1;
  }
  return cuts;
}

std::size_t chooseParts(std::size_t inputSize) {
  // A part must be large enough to repay a thread; more threads than
  // processors only take turns.
  constexpr std::size_t kSmallestPart = std::size_t{2} << 20;
  constexpr std::size_t kMostParts = 8;
  const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp(inputSize / kSmallestPart, std::size_t{1}, std::min(processors, kMostParts));
}

}  // namespace

std::size_t outputReserve(std::size_t inputSize) {
  constexpr std::size_t kTimesInput = sizeof(void*) >= 8 ? 4 : 2;
  return kTimesInput * inputSize + 4096;
}

Script readScript(std::string_view input) {
  Script script;
  AllBlocks sink{script.labelBlocks};
  readLines(input, &script.variableNames, script.warnings, sink);
  return script;
}

VariableNames findVariables(std::string_view input) {
  // Only a line whose first "$" has nothing but whitespace before it can
  // have "$" for its first word. Each such line is read as readLines reads
  // it; the search goes on after the line, whatever it held.
  VariableNames variableNames;
  std::string line;
  Words words;
  std::size_t at = 0;
  while ((at = input.find('$', at)) != std::string_view::npos) {
    std::size_t begin = at;
    while (begin > 0 && input[begin - 1] != '\n' && isSpaceByte(input[begin - 1])) --begin;
    const std::size_t end = input.find('\n', at);
    if (begin == 0 || input[begin - 1] == '\n') {
      std::string_view raw = input.substr(begin, end == std::string_view::npos ? end : end - begin);
      if (end != std::string_view::npos && !raw.empty() && raw.back() == '\r') {
        raw.remove_suffix(1);
      }
      std::string_view name;
      if (variableShortcut(raw, name)) {
        recordVariable(variableNames, name);
      } else {
        normaliseLine(raw, line);
        splitWords(line, words);
        if (words.first() == "$") recordVariable(variableNames, words.second());
      }
    }
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return variableNames;
}

bool convertScript(std::string_view input, Conversion& result, const LuaSink& sink,
                   const ConvertOptions& options) {
  result.lua.clear();
  result.console.clear();
  result.warnings.clear();
  // Room for the whole text, even with a sink: an entry is handed on only
  // once complete, and one chain can be most of a script. Room that is
  // never written costs only address space; where even that cannot be had,
  // the text grows as it is written instead.
  reserveLargeBuffer(result.lua, outputReserve(input.size()));
  // The first part is converted here, straight to the output; the others on
  // threads of their own, each into a text of its own, which follows once
  // the parts before it are done. Every part finds its own variables first.
  const std::vector<std::size_t> cuts =
      cutPoints(input, options.parts != 0 ? options.parts : chooseParts(input.size()));
  const auto partOf = [&](std::size_t k) {
    const std::size_t end = k + 1 < cuts.size() ? cuts[k + 1] : input.size();
    return input.substr(cuts[k], end - cuts[k]);
  };
  std::vector<Apart> apart(cuts.size());
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    try {
      apart[k].done = std::async(std::launch::async, convertApart, partOf(k), std::ref(apart[k]));
    } catch (const std::system_error&) {
      // No thread to be had: that part is dealt with here, in its turn.
    }
  }

  VariableNames variableNames = findVariables(partOf(0));
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    const VariableNames found =
        apart[k].done.valid() ? apart[k].found.get() : findVariables(partOf(k));
    for (const std::string& name : found.names) recordVariable(variableNames, name);
  }
  LuaOutput output(result.lua, sink, options.pieceSize);
  output.buffer().append(kLuaHeader);
  appendDeclarations(variableNames, output.buffer());
  output.flushIfFull();

  const std::size_t firstPartLines =
      convertPart(partOf(0), output, result.console, result.warnings);
  std::size_t firstLine = 1;
  std::size_t previousLines = firstPartLines;
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    Apart& part = apart[k];
    if (part.done.valid()) {
      part.done.get();
    } else {
      convertKept(partOf(k), part.conversion, part.lines);
    }
    firstLine += previousLines - 1;
    previousLines = part.lines;
    output.pass(part.conversion.lua);
    part.conversion.lua = std::string();
    result.console.append(part.conversion.console);
    for (Warning& warning : part.conversion.warnings) {
      warning.line += firstLine - 1;
      result.warnings.push_back(std::move(warning));
    }
  }
  output.flush();
  return output.accepted();
}

}  // namespace brindle
