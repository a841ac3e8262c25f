#include "convert.h"

#include <algorithm>

#include "decode.h"
#include "large_buffer.h"
#include "variables.h"

namespace brindle {
namespace {

// What the walk hands on goes into the tables and the label references;
// the text is handed on whenever an entry is complete and enough has
// gathered. Bytes before that point never change again: the comma between
// entries is written when the next one begins.
struct TablesSink {
  TableWriter& tables;
  LabelReferences& labels;
  std::size_t pieceSize;
  const std::function<void()>& handOn;

  void open(std::string_view name, std::size_t line) {
    addLabel(labels, name, line);
    tables.open(name, line);
    if (tables.unpassed() >= pieceSize) handOn();
  }
  void jump(std::string_view target, std::size_t line) { addJump(labels, target, line); }
  void add(const ScriptLine& statement, std::size_t line) {
    tables.add(statement, line);
    if (!tables.insideEntry() && tables.unpassed() >= pieceSize) handOn();
  }
};

}  // namespace

std::size_t outputReserve(std::size_t scriptSize) {
  // Four times the script in a 64-bit process, where address space is
  // plentiful and untouched room costs nothing else, so that few scripts
  // make the text move while it grows (most convert to about their own
  // size, chains nested deep to twice it, one-word lines to three times
  // it); twice the script in a 32-bit one.
  constexpr std::size_t kTimesScript = sizeof(void*) >= 8 ? 4 : 2;
  return kTimesScript * scriptSize + 4096;
}

std::size_t convertLines(std::string_view stretch, TableWriter& tables, std::size_t pieceSize,
                         const StretchFindings& findings, const std::function<void()>& handOn) {
  TablesSink sink{tables, findings.labels, pieceSize, handOn};
  const std::size_t lines =
      walkLines(stretch, nullptr, findings.warnings, sink, &findings.textChanges);
  tables.close();
  return lines;
}

bool convertText(std::string_view script, Conversion& result, const LuaSink& sink,
                 const ConvertOptions& options) {
  const std::size_t mostItems = std::max<std::size_t>(options.mostItemsPerFunction, 2);
  result = Conversion();
  std::vector<std::size_t> variableLines;
  NameTable variableNames = findVariables(script, options.lineMap ? &variableLines : nullptr);
  const bool flat = surelyFlat(script, nameCount(variableNames), mostItems);
  LuaWriter lua(std::move(variableNames), std::move(variableLines), result.lua, sink, mostItems,
                options.pieceSize, options.lineMap);
  // A script that surely stays flat begins at once and streams. Otherwise its
  // tables wait until their items pass the limit (from then on they stream,
  // less an open table that may still join the group before it) or until
  // every line is converted. Room for the whole text where it gathers: an
  // entry is handed on only once complete, and one chain can be most of a
  // script. Room that is never written costs only address space.
  if (flat) lua.begin(Layout::flat);
  TableWriter tables(result.console, mostItems, !flat, options.lineMap);
  if (sink) {
    tables.reserve(outputReserve(script.size()));
  } else {
    reserveLargeBuffer(result.lua, outputReserve(script.size()));
  }
  LabelReferences labels(options.mostLabelWarnings);
  TextChanges textChanges{options.describeTextChanges};
  // Announcements and warnings go straight to the result, so that they are
  // there if memory runs out.
  convertLines(script, tables, options.pieceSize, {result.warnings, labels, textChanges},
               [&] { lua.take(tables, tables.items()); });
  result.textChanges = textChanges.count;
  if (!lua.begun()) lua.begin(lua.layoutFor(tables.items()));
  lua.take(tables, tables.items());
  lua.finish();
  warnOfWholeFile(script, result.warnings);
  warnOfLabelProblems(labels, result.warnings);
  return lua.accepted();
}

}  // namespace brindle
