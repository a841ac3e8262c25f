// The one writer of the Lua text of a converted story: the fixed header, one
// declaration per variable, then one LABELS table per label block with one
// function entry per statement, a whole chain counting as one entry, in the
// layout that layout.h chooses. Statements come with their last rule made
// (every "path_end;" a call); the writer makes it on what it puts around
// them: the names it writes, and the "; end" after a plain entry that ends
// in "path_end". A TableWriter writes the tables as the statements arrive; a
// LuaWriter writes what comes before them and hands the whole text on in
// order. A TableWriter can report each line it writes in a LineMap. Each is
// used by one thread at a time.
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
#include "output_texts.h"
#include "records.h"
#include "text_buffer.h"
#include "triggers.h"

namespace brindle {

// Appends `name`, a name the script gives, with the last rule made on it.
void appendName(TextBuffer& out, std::string_view name);

// Writes label tables into a text of its own as their statements arrive: a
// plain statement's entry at once, a chain's entry line by line through a
// ChainAssembler, closed when a statement ends the chain or the table
// closes. No statement is kept. For each entry of a table named "R28",
// "nadas" is appended to `console`. A table of more entries than one Lua
// function may hold is written in pieces (see layout.h). Where each table
// opens and its entries are recorded in marks(), for the grouped layout. The
// text stays until drop() lets it go.
class TableWriter {
 public:
  TableWriter(std::string& console, std::size_t mostItems, LineMap* lines = nullptr)
      : console_(console), mostItems_(mostItems), lines_(lines), chain_(text_, lines) {}

  // Room for `bytes` of text, which costs only address space until written.
  void reserve(std::size_t bytes);
  // The memory of the text, handed from one writer to another (see
  // TextBuffer::giveUpRoom); the writer giving it up is not written again.
  TextBuffer::Room giveUpRoom() { return text_.giveUpRoom(); }
  void takeRoom(TextBuffer::Room room) { text_.takeRoom(std::move(room)); }
  // Closes the open table, if any, and opens one named `name`, from the
  // script's line `line`.
  void open(std::string_view name, std::size_t line);
  // Adds a statement of the script's line `line` to the open table; open()
  // must have come first.
  void add(const LuaStatement& statement, std::size_t line);
  // Ends the open entry and the table; nothing if no table is open.
  void close();
  // Whether an entry is still being written: a chain that the statements to
  // come may continue. Otherwise the text written so far is whole entries.
  bool insideEntry() const { return chain_.isOpen(); }
  // The text kept, and the marks of its tables.
  std::string_view text() const { return text_.view(); }
  TableMarks& marks() { return marks_; }
  const TableMarks& marks() const { return marks_; }
  // The items written: a key per table and one per entry.
  std::size_t items() const { return marks_.items; }
  // Lets the first `bytes` of the text go, which have been handed on; of
  // the marks only the open table's stays, counted from the new start.
  void drop(std::size_t bytes);

 private:
  // Announces an entry and writes its opening; returns where the entry's
  // text goes, with room for `more` bytes, for the caller to settle.
  char* beginEntry(std::size_t line, std::size_t more);
  void endEntry();

  TextBuffer text_;
  std::string& console_;
  std::size_t mostItems_;
  LineMap* lines_;
  TableMarks marks_;
  std::string name_;         // of the open table, for its pieces
  std::size_t entries_ = 0;  // begun in the open table
  bool open_ = false;
  bool announces_ = false;     // the table is named "R28"
  bool lastWasChain_ = false;  // the table's last entry holds a chain
  ChainAssembler chain_;
};

// Inline, as the chain's: every statement of a script comes through here,
// and a call for each costs more than the common case.
// Announces an entry and writes its opening. What stands between two
// entries goes in when the second begins, right behind the first one's
// "; end", where it would stand if written with it.
[[gnu::always_inline]] inline char* TableWriter::beginEntry(std::size_t line, std::size_t more) {
  if (announces_) console_.append(kAnnouncement);
  char* out;
  if (entries_ != 0 && !startsPiece(entries_, mostItems_)) {
    out = TextBuffer::put(text_.room(kNextEntryOpen.size() + more), kNextEntryOpen);
  } else {
    if (entries_ != 0) appendPieceBreak(name_, entries_, mostItems_, text_);
    out = TextBuffer::put(text_.room(kEntryOpen.size() + more), kEntryOpen);
  }
  beginLine(lines_, line, LuaLineRole::entry);
  ++entries_;
  if (entries_ <= UINT32_MAX) marks_.tables.back().entries = static_cast<std::uint32_t>(entries_);
  ++marks_.items;
  return out;
}

inline void TableWriter::endEntry() { text_.append(kEntryClose); }

[[gnu::always_inline]] inline void TableWriter::add(const LuaStatement& statement, std::size_t line) {
  if (chain_.isOpen()) {
    if (chain_.add(statement, line)) return;
    endEntry();  // the statement ended the chain, which is now closed
  }
  lastWasChain_ = statement.chainFlag == ChainFlag::opensChain;
  if (lastWasChain_) {
    text_.settle(beginEntry(line, 0));
    chain_.open(statement, line);
    return;
  }
  // "; end" follows: a plain entry that ends in "path_end" ends in
  // "path_end;", which the last rule makes a call.
  static_assert(kPathEndStatement.size() == kPathEnd.size() + 1 &&
                kPathEndStatement.back() == kEntryClose.front());
  char* out = beginEntry(line, std::max(statement.tabs, TextBuffer::kPutWord) + statement.text.size() +
                                   kCallParentheses.size() + kEntryClose.size());
  out = TextBuffer::put(out, statement.tabs, '\t');
  out = TextBuffer::put(out, statement.text);
  if (statement.text.ends_with(kPathEnd)) out = TextBuffer::put(out, kCallParentheses);
  text_.settle(TextBuffer::put(out, kEntryClose));
}

// Takes the Lua text in consecutive pieces, in order. Returns false when it
// cannot take them; it is not called again then.
using LuaSink = std::function<bool(std::string_view)>;
// Tells a sink to start over: to put `beginning` in place of the first
// `replaced` bytes it took and keep the rest, which the pieces to come then
// follow. Where the text starts over from its first byte, `replaced` is
// every byte taken and `beginning` empty. Returns false when it cannot; it
// is not called again then.
using LuaRestart = std::function<bool(std::size_t replaced, std::string_view beginning)>;

// Appends the flat declarations of `variables` for a reader that looks at
// them apart from the tables: each on a line of its own that a line feed
// begins, reported in `lines` with the script line where its variable is
// first set (`variableLines`, in the variables' order).
void appendDeclarationLines(const NameTable& variables, const std::vector<std::size_t>& variableLines,
                            TextBuffer& out, LineMap& lines);

// The line feeds LuaWriter::begin writes before the first table, in either
// layout: the header's, one per declaration and those that close them.
std::size_t lineFeedsBeforeTables(std::size_t declarations);

// Writes the beginning of the text, once its layout is chosen, and hands the
// whole text on: with a sink in pieces of at least `pieceSize` bytes, `out`
// holding only what is not yet handed on; without one, the whole text
// gathers in `out`.
class LuaWriter {
 public:
  LuaWriter(std::string& out, const LuaSink& sink, std::size_t mostItems, std::size_t pieceSize)
      : out_(out), sink_(sink), mostItems_(mostItems), pieceSize_(pieceSize) {}

  bool begun() const { return grouper_.has_value(); }
  // Writes the header and the declarations in `layout`; once, before any
  // table is handed on.
  void begin(Layout layout, const NameTable& variables);
  // Hands on as much of what `tables` has written as the layout allows, and
  // drops it there; only once begun.
  void take(TableWriter& tables);
  // Hands on the whole text of `tables`, whose tables are all closed, and
  // leaves it and its marks as they were, to be handed on again after
  // startOver(); only once begun.
  void takeKeeping(const TableWriter& tables);
  // Forgets what was handed on, telling the sink through `restart`: begin()
  // comes again, then the tables from the first.
  void startOver(const LuaRestart& restart);
  // Writes the beginning again, with `variables`, in place of the one handed
  // on, telling the sink through `restart`; the tables handed on stay, and
  // those to come follow them. Only with a sink, in the grouped layout,
  // whose tables are written the same whatever the declarations.
  void redeclare(const NameTable& variables, const LuaRestart& restart);
  // Closes the last group and hands on the rest: the text is complete.
  void finish();
  // False once the sink has refused a piece.
  bool accepted() const { return accepted_; }

 private:
  void handOn(std::string_view piece);
  void flushOwn();
  void give(std::string_view piece);

  std::string& out_;
  TextBuffer own_;  // what this writer wrote itself and has not handed on
  const LuaSink& sink_;
  std::size_t mostItems_;
  std::size_t pieceSize_;
  std::optional<TableGrouper> grouper_;  // once begun
  std::size_t given_ = 0;      // the bytes handed on since the text began
  std::size_t beginning_ = 0;  // of them, those that begin() wrote
  bool accepted_ = true;
};

}  // namespace brindle
