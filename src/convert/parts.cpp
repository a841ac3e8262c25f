#include "parts.h"

#include <algorithm>
#include <future>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "decode.h"
#include "large_buffer.h"
#include "normalise.h"
#include "rewrite.h"
#include "statements.h"
#include "scan.h"
#include "triggers.h"
#include "variables.h"
#include "words.h"

namespace brindle {
namespace {

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
std::size_t nextBlockOpening(std::string_view script, std::size_t from) {
  std::string lineStart(1, '\n');
  lineStart.append(kLabelWord);
  for (std::size_t at = script.find(lineStart, from); at != std::string_view::npos;
       at = script.find(lineStart, at + 1)) {
    if (opensBlock(script.substr(at + 1))) return at + 1;
  }
  return std::string_view::npos;
}

// Where to cut `script` into at most `parts` parts: the offsets of lines
// that open a block, each near an equal share of the script; the first is
// 0. The part before a cut ends with the blocks it opened.
std::vector<std::size_t> cutPoints(std::string_view script, std::size_t parts) {
  std::vector<std::size_t> cuts{0};
  for (std::size_t k = 1; k < parts; ++k) {
    const std::size_t cut =
        nextBlockOpening(script, std::max(script.size() / parts * k, cuts.back()));
    if (cut == std::string_view::npos) break;
    cuts.push_back(cut);
  }
  return cuts;
}

std::size_t chooseParts(std::size_t scriptSize) {
  // A part must be large enough to repay a thread; more threads than
  // processors only take turns.
  constexpr std::size_t kSmallestPart = std::size_t{2} << 20;
  constexpr std::size_t kMostParts = 8;
  const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp(scriptSize / kSmallestPart, std::size_t{1}, std::min(processors, kMostParts));
}

// A part after the first, converted into a text of its own with the marks
// of its tables: its variables first, handed over as soon as they are
// found, since the declarations of all of them come before the first table;
// then its tables. Lines count from the part's start. `done` is the last
// member, so that it is destroyed first, which waits for the thread to end.
struct Part {
  Part(std::string_view text, const ConvertOptions& options, std::size_t mostItems)
      : text(text), labels(options.mostLabelWarnings), textChanges{options.describeTextChanges},
        tables(console, mostItems, true) {}

  std::string_view text;
  std::promise<NameTable> variablesFound;
  std::future<NameTable> variables = variablesFound.get_future();
  std::string console;
  std::vector<Warning> warnings;
  LabelReferences labels;
  TextChanges textChanges;
  TableWriter tables;
  std::size_t lines = 0;
  bool converted = false;
  std::future<void> done;
};

void convertPart(Part& part, std::size_t pieceSize) {
  part.tables.reserve(outputReserve(part.text.size()));
  part.lines = convertLines(part.text, part.tables, pieceSize,
                            {part.warnings, part.labels, part.textChanges},
                            [&part] { part.tables.pass(); });
  part.tables.pass();
}

void convertOnThread(Part& part, std::size_t pieceSize) {
  try {
    part.variablesFound.set_value(findVariables(part.text));
  } catch (...) {
    part.variablesFound.set_exception(std::current_exception());
    throw;
  }
  convertPart(part, pieceSize);
}

}  // namespace

bool convertInParts(std::string_view script, Conversion& result, const LuaSink& sink,
                    const ConvertOptions& options, std::size_t parts) {
  const std::vector<std::size_t> cuts = cutPoints(script, parts != 0 ? parts : chooseParts(script.size()));
  if (cuts.size() == 1 || options.lineMap) return convertText(script, result, sink, options);
  const std::size_t mostItems = std::max<std::size_t>(options.mostItemsPerFunction, 2);
  result = Conversion();
  const auto partOf = [&](std::size_t k) {
    const std::size_t end = k + 1 < cuts.size() ? cuts[k + 1] : script.size();
    return script.substr(cuts[k], end - cuts[k]);
  };
  // The first part is converted here, the others on threads of their own;
  // where no thread is to be had, a part is converted here in its turn.
  std::vector<std::unique_ptr<Part>> later;
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    later.push_back(std::make_unique<Part>(partOf(k), options, mostItems));
  }
  for (const std::unique_ptr<Part>& part : later) {
    try {
      part->done = std::async(std::launch::async, convertOnThread, std::ref(*part), options.pieceSize);
    } catch (const std::system_error&) {
    }
  }
  const auto finishPart = [&](Part& part) {
    if (part.converted) return;
    if (part.done.valid()) {
      part.done.get();
    } else {
      convertPart(part, options.pieceSize);
    }
    part.converted = true;
  };

  // Each part's variables join the first part's in order; each table is let
  // go as soon as it has been joined.
  NameTable variableNames = findVariables(partOf(0));
  for (const std::unique_ptr<Part>& part : later) {
    addVariables(variableNames, part->done.valid() ? part->variables.get() : findVariables(part->text));
  }
  const bool flat = surelyFlat(script, nameCount(variableNames), mostItems);
  LuaWriter lua(std::move(variableNames), {}, result.lua, sink, mostItems, options.pieceSize);
  if (flat) lua.begin(Layout::flat);
  TableWriter first(result.console, mostItems, !flat);
  if (sink) {
    first.reserve(outputReserve(partOf(0).size()));
  } else {
    reserveLargeBuffer(result.lua, outputReserve(script.size()));
  }
  // The items counted so far, in the first part and in those converting
  // beside it, only grow: once they pass the limit, the text is grouped.
  const auto itemsSoFar = [&] {
    std::size_t items = first.items();
    for (const std::unique_ptr<Part>& part : later) items += part->tables.items();
    return items;
  };
  LabelReferences labels(options.mostLabelWarnings);
  TextChanges textChanges{options.describeTextChanges};
  const std::size_t firstLines =
      convertLines(partOf(0), first, options.pieceSize, {result.warnings, labels, textChanges},
                   [&] { lua.take(first, itemsSoFar()); });
  lua.take(first, itemsSoFar());
  if (!lua.begun()) {
    // Below the limit so far: only every part's count can tell.
    std::size_t items = first.items();
    for (std::size_t k = 0; k < later.size() && lua.layoutFor(items) == Layout::flat; ++k) {
      finishPart(*later[k]);
      items += later[k]->tables.items();
    }
    lua.begin(lua.layoutFor(items));
    lua.take(first, items);
  }

  // A later part numbers its lines from its own start; the line feeds of
  // the parts before it, one fewer than their lines, give its place.
  std::size_t lineFeedsBefore = firstLines - 1;
  for (std::unique_ptr<Part>& part : later) {
    finishPart(*part);
    lua.take(part->tables, 0);
    result.console.append(part->console);
    for (Warning& warning : part->warnings) {
      warning.line += lineFeedsBefore;
      result.warnings.push_back(std::move(warning));
    }
    appendLabelReferences(labels, part->labels, lineFeedsBefore);
    textChanges.count += part->textChanges.count;
    lineFeedsBefore += part->lines - 1;
    part.reset();
  }
  lua.finish();
  result.textChanges = textChanges.count;
  warnOfWholeFile(script, result.warnings);
  warnOfLabelProblems(labels, result.warnings);
  return lua.accepted();
}

}  // namespace brindle
