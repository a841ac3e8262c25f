// What a language server needs to know of one version of a document: where
// its labels, jumps and `$` lines stand, read by the same walk over the
// lines as the conversion's (an Analysis), and the Lua each statement
// becomes, with the writer's map of its lines (a LuaView, made after it).
// Positions are the editor's (positions.h); a script line is brindle's
// (from 1, ended by a line feed). Each is made once and then only read,
// from any thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "line_map.h"
#include "positions.h"

namespace brindle::lsp {

// Bytes [begin, end) of a script line.
struct Place {
  std::size_t line = 0;  // from 1
  std::size_t begin = 0;
  std::size_t end = 0;
};

struct LabelSymbol {
  std::string name;
  Place place;              // of the name as the line spells it
  bool renameable = false;  // the line spells the name whole, as the word before its colon
};

// A jump's target, or the name a `$` line sets.
struct NameUse {
  std::string name;
  Place place;
};

struct Analysis {
  std::shared_ptr<const std::string> text;  // the document
  std::string_view script;                  // its script, without a byte-order mark
  std::vector<std::size_t> scriptLines;     // where each script line starts in the text
  LineIndex positions;
  std::vector<LabelSymbol> labels;  // in order
  std::vector<NameUse> jumps;       // in order
  std::vector<NameUse> variables;   // every `$` line, in order

  // The script line that holds byte `offset` of the text, and the byte within it.
  Place placeOf(std::size_t offset) const;
  // The editor's position of byte `column` of script line `line`.
  Position positionOf(std::size_t line, std::size_t column) const;
  // Script line `line`, without its line end.
  std::string_view scriptLine(std::size_t line) const;
};

// The Lua of an analysed document.
struct LuaView {
  std::string lua;  // the flat text, whose lines are those of output.lua
  LineMap lines;
  std::vector<std::size_t> lineStarts;
  std::vector<std::size_t> ofScriptLine;  // by script line: the first Lua line of its statement, or npos
  std::vector<std::size_t> entries;       // of each label's table, in the order of the labels

  std::string_view line(std::size_t line) const;
};

// Analyses `text`, a document's whole text.
std::shared_ptr<const Analysis> analyze(std::shared_ptr<const std::string> text);

// The Lua of the analysed script.
std::shared_ptr<const LuaView> viewLua(const Analysis& analysis);

}  // namespace brindle::lsp
