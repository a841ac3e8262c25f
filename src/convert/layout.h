// Where the declarations and label tables stand in the Lua text. A Lua
// function holds only so many constants and nested functions (LuaJIT 65,536
// strings and functions together, Lua 5.4 131,071 functions, Lua 5.1 262,143
// of each), and the flat text puts everything in the main chunk: a name per
// declaration, a key per table, a function per entry. Up to a limit of items
// the text stays flat; above it the declarations and tables are grouped into
// consecutive functions that are called at once, `(function() ... end)();`,
// each holding at most the limit, and a table with more entries than that is
// filled in pieces. The globals and the tables the text builds are the same
// either way, and so is every line number. This unit decides the layout and
// writes the texts that belong to it (output_texts.h spells them); it keeps
// no state but a TableGrouper's, which one thread uses at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "text_buffer.h"

namespace brindle {

// The most items, each a constant or a function of Lua's count, that one Lua
// function of the text holds: a declaration, a table (its key) and an entry
// count one each. Below LuaJIT's 65,536 with room for the few constants of
// the grouping itself.
inline constexpr std::size_t kMostItemsPerFunction = 60000;

enum class Layout { flat, grouped };

// The layout of a text of `items` items (declarations, tables and entries),
// at most `mostItems` (at least 2) to a function. The text is grouped once
// its items pass the limit, so a count that only grows decides it as soon as
// it passes.
Layout chooseLayout(std::size_t items, std::size_t mostItems);

// Whether a script of `lines` lines and `declarations` variables surely
// stays flat whatever its lines hold: every line is at most one table or
// one entry. `lines` as linesUpTo counts them with a `most` above mostItems.
bool surelyFlat(std::size_t lines, std::size_t declarations, std::size_t mostItems);
// The lines of `script`, one more than its line feeds, counted to `most` at
// most: no more of it is looked at than that needs.
std::size_t linesUpTo(std::string_view script, std::size_t most);

// Appends the declaration `index` of `count`: `name = 0;` and a line feed,
// in the grouped layout opening a group before every limit-th one and
// closing it on the line of its last.
void appendDeclaration(std::string_view name, std::size_t index, std::size_t count,
                       Layout layout, std::size_t mostItems, TextBuffer& out);

// Whether entry `index` (from 0) of a table begins a new piece: one does
// after every limit - 1 entries. Only a table of more than limit - 1 entries
// has pieces, and its text is then grouped anyway.
inline bool startsPiece(std::size_t index, std::size_t mostItems) {
  return index >= mostItems - 1 && index % (mostItems - 1) == 0;
}

// Appends, in place of the comma between entry `index` - 1 and entry
// `index`, where startsPiece, the end of a piece and of its group and the
// start of the next group and piece of the table `name`, on the same line.
void appendPieceBreak(std::string_view name, std::size_t index, std::size_t mostItems,
                      TextBuffer& out);

// Appends the end of a table of `entries` entries: "\n};", followed in a
// table filled in pieces by the loop that appends the last piece and the end
// of its group.
void appendTableEnd(std::size_t entries, std::size_t mostItems, TextBuffer& out);

// Where a table of a text opens (the "\n\nLABELS[" before its key), counted
// in bytes from the start of that text, how many entries it has so far, and
// whether a group has been opened for it.
struct TableMark {
  std::size_t offset = 0;
  std::uint32_t entries = 0;  // at most 2^32 - 1: more are as many as that here
  bool grouped = false;
};

// The tables of a text: every table opened, in order, of which the last may
// still be open, and their items.
struct TableMarks {
  std::vector<TableMark> tables;
  bool lastOpen = false;
  std::size_t items = 0;  // a key per table and an entry each
};

// Takes the grouped text in consecutive pieces, in order.
using PieceSink = std::function<void(std::string_view)>;

// Puts the groups around tables. A table goes into the open group if the
// group has room for all its items, and opens a new group otherwise; a table
// filled in pieces always opens one and closes its last one itself. In the
// flat layout the text passes unchanged.
class TableGrouper {
 public:
  TableGrouper(Layout layout, std::size_t mostItems) : layout_(layout), mostItems_(mostItems) {}

  Layout layout() const { return layout_; }

  // Gives `sink` as much of `text`, whose tables `marks` records, as can be
  // grouped yet: all of it but an open table that may still fit into the
  // open group. Marks the tables it opened groups for; returns the bytes
  // given.
  std::size_t group(std::string_view text, TableMarks& marks, const PieceSink& sink);
  // Closes the group still open, after the last table.
  void finish(const PieceSink& sink);

 private:
  Layout layout_;
  std::size_t mostItems_;
  std::size_t used_ = 0;  // items in the open group; 0 when none is open
};

}  // namespace brindle
