// The one writer of the Lua text of a converted story: the fixed header, one
// declaration per variable, then one LABELS table per label block with one
// function entry per statement, a whole chain counting as one entry, in the
// layout that layout.h chooses; a final pass makes every "path_end;" of the
// text "path_end();". A TableWriter writes the tables as the statements
// arrive; a LuaWriter writes what comes before them and hands the whole text
// on in order. Either can report each line it writes in a LineMap. Each is
// used by one thread at a time; the counts of a TableWriter's marks may be
// read from others.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chain.h"
#include "layout.h"
#include "line_map.h"
#include "names.h"
#include "records.h"

namespace brindle {

// The final pass over text[from, end): every "path_end;" becomes
// "path_end();". Passing a text piece by piece gives what one pass over the
// whole gives when every piece ends where a declaration, a table's opening
// line, an entry or a table ends: no occurrence can span such an end, which
// a comma, a line feed or "\n};" follows. With `marks`, the tables it
// records keep their place in the text that grows.
void callPathEnds(std::string& text, std::size_t from = 0, TableMarks* marks = nullptr);

// Writes label tables into a text of its own as their statements arrive: a
// plain statement's entry at once, a chain's entry line by line through a
// ChainAssembler, closed when a statement ends the chain or the table
// closes. No statement is kept. For each entry of a table named "R28",
// "nadas" is appended to `console`. A table of more entries than one Lua
// function may hold is written in pieces (see layout.h). With `markTables`,
// where each table opens and its entries are recorded in marks(), for the
// grouped layout. The text stays until drop() lets it go.
class TableWriter {
 public:
  TableWriter(std::string& console, std::size_t mostItems, bool markTables,
              LineMap* lines = nullptr)
      : console_(console), mostItems_(mostItems), markTables_(markTables), lines_(lines),
        chain_(text_, lines) {}

  // Room for `bytes` of text, which costs only address space until written.
  void reserve(std::size_t bytes);
  // Closes the open table, if any, and opens one named `name`, from the
  // script's line `line`.
  void open(std::string_view name, std::size_t line);
  // Adds a statement of the script's line `line` to the open table; open()
  // must have come first.
  void add(const ScriptLine& statement, std::size_t line);
  // Ends the open entry and the table; nothing if no table is open.
  void close();
  // Whether an entry is still being written: a chain that the statements to
  // come may continue. Otherwise the text written so far is whole entries.
  bool insideEntry() const { return chain_.isOpen(); }
  // The bytes written since the last pass.
  std::size_t unpassed() const { return text_.size() - passed_; }
  // Runs the final pass over the text written since the last one; only
  // between entries.
  void pass();
  // The text kept, and the marks of its tables.
  std::string_view text() const { return text_; }
  TableMarks& marks() { return marks_; }
  // The items written: a key per table and one per entry (with markTables).
  std::size_t items() const { return marks_.items.load(std::memory_order_relaxed); }
  // Lets the first `bytes` of the text go, which have been handed on; of
  // the marks only the open table's stays, counted from the new start.
  void drop(std::size_t bytes);

 private:
  void beginEntry(std::size_t line);
  void endEntry();
  void countItem();

  std::string text_;
  std::size_t passed_ = 0;  // the bytes of the text before this have had their pass
  std::string& console_;
  std::size_t mostItems_;
  bool markTables_;
  LineMap* lines_;
  TableMarks marks_;
  std::string name_;         // of the open table, for its pieces
  std::size_t entries_ = 0;  // begun in the open table
  bool open_ = false;
  bool announces_ = false;  // the table is named "R28"
  ChainAssembler chain_;
};

// Takes the Lua text in consecutive pieces, in order. Returns false when it
// cannot take them; it is not called again then.
using LuaSink = std::function<bool(std::string_view)>;

// Writes the beginning of the text, once its layout is chosen, and hands the
// whole text on: with a sink in pieces of at least `pieceSize` bytes, `out`
// holding only what is not yet handed on; without one, the whole text
// gathers in `out`. The variables are let go once declared.
class LuaWriter {
 public:
  // `variableLines` give each variable's script line, for the line map.
  LuaWriter(NameTable variables, std::vector<std::size_t> variableLines, std::string& out,
            const LuaSink& sink, std::size_t mostItems, std::size_t pieceSize,
            LineMap* lines = nullptr);

  bool begun() const { return grouper_.has_value(); }
  // The layout of a text of the declarations and `tableItems` items more.
  Layout layoutFor(std::size_t tableItems) const;
  // Writes the header and the declarations in `layout`; once, before any
  // table is handed on. Lines the line map has recorded already (those of
  // tables written before) follow the lines written here.
  void begin(Layout layout);
  // Hands on, through the final pass, as much of what `tables` has written
  // as the layout allows, and drops it there. Before begin(), `tableItems`
  // (those of every table written so far, wherever) decide: once they pass
  // the limit the grouped layout begins; until then nothing is taken.
  void take(TableWriter& tables, std::size_t tableItems);
  // Closes the last group and hands on the rest: the text is complete.
  void finish();
  // False once the sink has refused a piece.
  bool accepted() const { return accepted_; }

 private:
  void handOn(std::string_view piece);
  void flushOwn();

  NameTable variables_;
  std::vector<std::size_t> variableLines_;
  std::string& out_;
  const LuaSink& sink_;
  std::size_t mostItems_;
  std::size_t pieceSize_;
  LineMap* lines_;
  std::optional<TableGrouper> grouper_;  // once begun
  std::size_t passed_ = 0;  // the bytes of `out_` before this have had their pass
  bool accepted_ = true;
};

}  // namespace brindle
