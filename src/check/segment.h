// A segment: a run of whole items of the Lua text (declarations, label keys,
// entries) with all that checking them needs, so that it can be checked on
// a thread of its own, and the questions the check asks of it: where its
// lines are, which item holds a line, which Lua line is which of its lines,
// and which line the author must change for an error Lua met. A segment is
// made by one thread and then belongs to the one that checks it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "checker.h"
#include "line_map.h"
#include "lua_parser.h"
#include "output_texts.h"

namespace brindle::check {

// What opens a table around entries taken out of theirs, and closes it; no
// line feed, so that the lines of the chunk are those of the text.
inline constexpr std::string_view kTableFill = "={";
inline constexpr std::string_view kTableOpen = Joined<kLabelsTable, kTableFill>::text;
inline constexpr std::string_view kTableClose = "}";
// An entry resumed after a broken line of its chain: its function, and an
// `if` for each chain still open, on the line before the rest.
inline constexpr std::string_view kResumedEntry = kEntryOpen.substr(kEntryOpen.find_first_not_of("\n\t"));
inline constexpr std::string_view kOpenChain = "if true then ";

enum class ItemKind { declaration, labelKey, entry };

// An item is the lines of the text from its first line up to the next
// item's first line; the lines after the last entry of a table (its closing
// "};") belong to that entry.
struct Item {
  ItemKind kind = ItemKind::entry;
  std::size_t firstLine = 0;  // of the text, from 0
};

// The text from line `firstLine` on, with the escapes only Lua 5.1 takes
// marked, the starts of its lines, the offsets of its marks, the items, and
// the writer's map of its lines. A segment that the rest of the text
// follows ends with the first line of the next item, which stays the last
// of `items`: what comes after an item decides how it is parsed. Lines are
// the text's, from 0, ended by line feeds.
struct Segment {
  std::string text;
  std::size_t firstLine = 0;
  std::vector<std::size_t> starts{0};
  std::vector<std::size_t> marks;
  std::vector<Item> items;
  std::vector<LuaLine> lines;  // from `firstLine` on
  bool carriageReturns = false;
  bool last = false;  // nothing follows it

  // Adds `piece`, the next bytes of the text, whose lines the writer's map
  // `map` gives roles: the escapes only Lua 5.1 takes are marked, the lines
  // it begins and the items those begin are recorded.
  void append(std::string_view piece, const LineMap& map);

  const LuaLine& lineAt(std::size_t line) const { return lines[line - firstLine]; }
  std::size_t offsetOf(std::size_t line) const { return starts[line - firstLine]; }
  std::size_t linesBegun() const { return firstLine + starts.size(); }
  // The line without its line feed.
  std::string_view lineText(std::size_t line) const;
  // Where the items before `end` end in the text.
  std::size_t itemsEnd(std::size_t end) const;
  std::size_t lastLineOf(std::size_t k) const;
  // Whether a table is still open after item `k`: its entries go on.
  bool tableOpenAfter(std::size_t k) const;
  // The item, of [first, end), that holds the line.
  std::size_t itemAt(std::size_t line, std::size_t first, std::size_t end) const;
  // Whether items [first, end) may hold what runs on past the end of its
  // item, so that Lua stops only in a later one: a long string or comment
  // ("[[" or "[="), a comment ("--", which hides the rest of its line and
  // the item's closing "end" with it), or a quoted text that a backslash
  // carries over a line end.
  bool mayRunOn(std::size_t first, std::size_t end) const;
  // Whether a mark stands on the line.
  bool markedOn(std::size_t line) const;
  // Whether the lines after `line`, to `last`, only close chains and the
  // table: nothing there to parse.
  bool onlyClosingAfter(std::size_t line, std::size_t last) const;

  // Lua ends a line at a line feed, a carriage return, or a pair of the two
  // in either order; the text's lines end at line feeds alone. Where the
  // segment holds no carriage return, they are the same.

  // The number of line ends Lua counts in text[from, to).
  std::size_t luaLineEnds(std::size_t from, std::size_t to) const;
  // The line of the text where Lua's line `luaLine` (from 1) of a chunk
  // that begins at the text's line `first` lies, at most `last`.
  std::size_t lineAtLuaLine(std::size_t first, std::size_t luaLine, std::size_t last) const;

  // The line the author must change, of [from, line], for the error Lua met
  // on `line` of a chunk that begins at line `from` and whose item ends at
  // `last`: the line that opened a bracket left open; the if or elif line
  // Lua found no `then` on; a statement that did not end, where Lua stopped
  // at the first token of the line after it; otherwise that line.
  std::size_t lineToChange(std::size_t line, const ParseError& error, std::size_t from,
                           std::size_t last) const;
  // The script line of `line`, or of the nearest line before it in item
  // `k` that has one of its own: the empty line before the next table's key
  // bears that label's line, and so does not count.
  std::size_t scriptLineOf(std::size_t line, std::size_t k) const;
  // The script line where what Lua expected to close was opened, for an
  // error in item `k` of a chunk that begins at the text's line
  // `chunkFirst`; 0 where Lua names no such line.
  std::size_t openedScriptLine(const ParseError& error, std::size_t k, std::size_t chunkFirst) const;
};

// What the check of a segment finds, at the script lines of its map: a
// Finding once put at the script's own lines by findingAt.
struct SegmentFinding {
  std::size_t line = 0;  // the line to change
  FindingKind kind = FindingKind::luaSyntax;
  ParseError error;             // what Lua said
  std::size_t openedLine = 0;   // where what Lua expected to close was opened, where it says
  std::size_t stopLine = 0;     // where Lua stopped; 0 for none
  bool markedEscape = false;    // Lua stopped at an escape only newer Luas refuse
  std::string declaration;      // of an unassignable variable, as output.lua has it
};

// The finding, its lines moved on by `lineOffset` (those of a segment whose
// map counts from a later line than the script's first).
Finding findingAt(const SegmentFinding& found, std::size_t lineOffset = 0);

// A whole text, with the map of its lines, as one segment that nothing
// follows.
Segment segmentOf(std::string_view text, const LineMap& map);

// The findings of the segment's items, in order, without hints, found with
// `parser`. Throws std::bad_alloc when memory runs out.
std::vector<SegmentFinding> checkSegment(Segment&& segment, const Batches& batches, LuaParser& parser);

}  // namespace brindle::check
