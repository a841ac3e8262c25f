#include "convert.h"

#include <algorithm>
#include <future>
#include <optional>
#include <system_error>
#include <thread>

#include "large_buffer.h"
#include "line.h"
#include "rewrite.h"
#include "triggers.h"
#include "variables.h"
#include "writer.h"

namespace brindle {
namespace {

// The room reserved for the Lua text of an input of `inputSize` bytes when
// it is kept whole: four times the input in a 64-bit process, where address
// space is plentiful and untouched room costs nothing else, so that few
// scripts make the text move while it grows (most convert to about their own
// size, chains nested deep to twice it, one-word lines to three times it);
// twice the input in a 32-bit one.
std::size_t outputReserve(std::size_t inputSize) {
  constexpr std::size_t kTimesInput = sizeof(void*) >= 8 ? 4 : 2;
  return kTimesInput * inputSize + 4096;
}

// Whether `rest`, which starts with a line, starts with one that opens a
// block.
bool opensBlock(std::string_view rest) {
  std::string line;
  Words words;
  normaliseLine(lineAt(rest, 0), kEveryTrigger, line);
  words.reset(line);
  return isLabelStatement(words);
}

// The offset of the first line after `from` that opens a block, or npos.
// Only lines that begin with "label" are looked at; a cut needs no more.
std::size_t nextBlockOpening(std::string_view input, std::size_t from) {
  std::string lineStart(1, '\n');
  lineStart.append(kLabelWord);
  for (std::size_t at = input.find(lineStart, from); at != std::string_view::npos;
       at = input.find(lineStart, at + 1)) {
    if (opensBlock(input.substr(at + 1))) return at + 1;
  }
  return std::string_view::npos;
}

// Where to cut `input` into at most `parts` parts: the offsets of lines that
// open a block, each near an equal share of the input; the first is 0. The
// part before a cut ends with the blocks it opened.
std::vector<std::size_t> cutPoints(std::string_view input, std::size_t parts) {
  std::vector<std::size_t> cuts{0};
  for (std::size_t k = 1; k < parts; ++k) {
    const std::size_t cut = nextBlockOpening(input, std::max(input.size() / parts * k, cuts.back()));
    if (cut == std::string_view::npos) break;
    cuts.push_back(cut);
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

// What converting a part gives besides its text, with lines numbered from
// the part's start.
struct PartFindings {
  LabelReferences references{kMostLabelWarnings};
  std::size_t lines = 0;
};

// Converts a part into a text of its own, kept whole, with the marks of its
// tables.
void convertIntoText(std::string_view part, Conversion& conversion, std::size_t limit,
                     TableMarks& marks, PartFindings& findings) {
  reserveLargeBuffer(conversion.lua, outputReserve(part.size()));
  const LuaSink none;
  LuaOutput kept(conversion.lua, none, ConvertOptions().pieceSize, nullptr, &marks);
  findings.lines = convertTables(part, kept, conversion.console, conversion.warnings,
                                 findings.references, limit);
  kept.flush();
}

// A part converted on a thread of its own: its variables first, handed over
// as soon as they are found, since the declarations of all of them come
// before the first table; then its text. `done` is the last member, so that
// it is destroyed first, which waits for the thread to end.
struct PartOnThread {
  std::promise<VariableNames> variables;
  std::future<VariableNames> found = variables.get_future();
  Conversion conversion;
  PartFindings findings;
  TableMarks marks;
  bool converted = false;
  std::future<void> done;
};

void convertOnThread(std::string_view part, std::size_t limit, PartOnThread& state) {
  try {
    state.variables.set_value(findVariables(part));
  } catch (...) {
    state.variables.set_exception(std::current_exception());
    throw;
  }
  convertIntoText(part, state.conversion, limit, state.marks, state.findings);
}

}  // namespace

bool convertScript(std::string_view file, Conversion& result, const LuaSink& sink,
                   const ConvertOptions& options) {
  // A UTF-16 file's text as UTF-8, here until the conversion ends.
  std::string decoded;
  ScriptText text = scriptText(file, decoded);
  if (text.error.empty()) return convertText(text.text, result, sink, options);
  result = Conversion();
  result.error = std::move(text.error);
  return false;
}

bool convertText(std::string_view input, Conversion& result, const LuaSink& sink,
                 const ConvertOptions& options) {
  const std::size_t limit = std::max<std::size_t>(options.mostItemsPerFunction, 2);
  result.lua.clear();
  result.console.clear();
  result.warnings.clear();
  result.error.clear();
  // The first part is converted here; the others on threads of their own,
  // each into a text of its own, which follows once the parts before it are
  // done. Every part finds its own variables first.
  const std::vector<std::size_t> cuts =
      cutPoints(input, options.parts != 0 ? options.parts : chooseParts(input.size()));
  const auto partOf = [&](std::size_t k) {
    const std::size_t end = k + 1 < cuts.size() ? cuts[k + 1] : input.size();
    return input.substr(cuts[k], end - cuts[k]);
  };
  std::vector<PartOnThread> parts(cuts.size());
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    try {
      parts[k].done = std::async(std::launch::async, convertOnThread, partOf(k), limit,
                                 std::ref(parts[k]));
    } catch (const std::system_error&) {
      // No thread to be had: that part is dealt with here, in its turn.
    }
  }
  const auto finishPart = [&](std::size_t k) {
    PartOnThread& part = parts[k];
    if (part.converted) return;
    if (part.done.valid()) {
      part.done.get();
    } else {
      convertIntoText(partOf(k), part.conversion, limit, part.marks, part.findings);
    }
    part.converted = true;
  };

  // Each part's names join the first part's in order; each table is let go
  // as soon as it has been merged.
  VariableNames variableNames = findVariables(partOf(0));
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    recordVariables(variableNames, parts[k].done.valid() ? parts[k].found.get()
                                                         : findVariables(partOf(k)));
  }
  const std::size_t declarations = variableCount(variableNames);

  // The header and the declarations open the text once its layout is known.
  LuaOutput output(result.lua, sink, options.pieceSize);
  std::optional<TableGrouper> grouper;
  const TextSink handOn = [&output](std::string_view text) { output.handOn(text); };
  const auto beginText = [&](Layout layout) {
    grouper.emplace(layout, limit);
    output.buffer().append(kLuaHeader);
    for (std::size_t k = 0; k < declarations; ++k) {
      appendDeclaration(variableName(variableNames, k), k, declarations, layout, limit,
                        output.buffer());
      output.flushIfFull();
    }
    variableNames = VariableNames();
    endDeclarations(output.buffer());
    output.flushIfFull();
  };

  LabelReferences references(kMostLabelWarnings);
  std::size_t firstLines = 0;  // of the first part
  if (surelyFlat(input, declarations, limit)) {
    // Room for the whole text, even with a sink: an entry is handed on only
    // once complete, and one chain can be most of a script. Room that is
    // never written costs only address space; where even that cannot be
    // had, the text grows as it is written instead.
    reserveLargeBuffer(result.lua, outputReserve(input.size()));
    beginText(Layout::flat);
    firstLines = convertTables(partOf(0), output, result.console, result.warnings, references, limit);
  } else {
    // The first part's tables are kept until their items show the text to be
    // grouped; from then on they are handed on as they are written, all but
    // an open table that may still join the group before it. A script that
    // stays below the limit is decided only when every part is converted.
    // Announcements and warnings go straight to the result all the same, so
    // that they are there if memory runs out.
    std::string kept;
    TableMarks marks;
    // The items counted so far, in this part and in those converting beside
    // it, only grow: once they pass the limit, the text is grouped.
    const auto itemsSoFar = [&] {
      std::size_t items = declarations + marks.items.load(std::memory_order_relaxed);
      for (std::size_t k = 1; k < cuts.size(); ++k) {
        items += parts[k].marks.items.load(std::memory_order_relaxed);
      }
      return items;
    };
    const LuaTaker take = [&](std::string_view text) -> std::size_t {
      if (!grouper) {
        if (itemsSoFar() <= limit) return 0;
        beginText(Layout::grouped);
      }
      return grouper->handOn(text, marks, handOn);
    };
    reserveLargeBuffer(kept, outputReserve(partOf(0).size()));
    const LuaSink none;
    LuaOutput first(kept, none, options.pieceSize, &take, &marks);
    firstLines = convertTables(partOf(0), first, result.console, result.warnings, references, limit);
    first.flush();
    if (!grouper) {
      std::size_t items = declarations + marks.items;
      for (std::size_t k = 1; k < cuts.size() && items <= limit; ++k) {
        finishPart(k);
        items += parts[k].marks.items;
      }
      beginText(chooseLayout(items, limit));
    }
    first.flush();
  }

  // A later part numbers its lines from its own start; the line feeds of the
  // parts before it, one fewer than their lines, give its place.
  std::size_t lineFeedsBefore = firstLines - 1;
  // The parts' label references stay where they are and are looked at
  // together at the end.
  std::vector<Stretch> stretches{{&references, 0}};
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    PartOnThread& part = parts[k];
    finishPart(k);
    grouper->handOn(part.conversion.lua, part.marks, handOn);
    part.conversion.lua = std::string();
    part.marks.tables = std::vector<TableMark>();
    result.console.append(part.conversion.console);
    for (Warning& warning : part.conversion.warnings) {
      warning.line += lineFeedsBefore;
      result.warnings.push_back(std::move(warning));
    }
    stretches.push_back({&part.findings.references, lineFeedsBefore});
    lineFeedsBefore += part.findings.lines - 1;
  }
  grouper->finish(handOn);
  warnOfLoneCarriageReturns(input, result.warnings);
  warnOfUtf16WithoutMark(input, result.warnings);
  warnOfLabelProblems(stretches, result.warnings);
  output.flush();
  return output.accepted();
}

}  // namespace brindle
