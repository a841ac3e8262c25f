// Assembles one if/elif/else chain, with every chain nested in it, into the
// body of a single Lua function entry: the opening line and an empty line,
// every entry the chain takes (deeper entries, and continuations at the
// chain's own indent), one per line, and one closing line of tabs and `end`
// for each chain; and the count of entries alone. A ChainAssembler is used
// by one thread at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "line_map.h"
#include "records.h"
#include "text_buffer.h"

namespace brindle {

// Assembles a chain entry by entry, for a caller that has no list of
// entries: open() with the entry that opens the chain, add() with each entry
// after it until add() returns false, then closeAll() if the entries ran out
// first. Nesting is tracked on an explicit stack, so any depth is safe, and
// nested text goes straight into the output rather than being copied up
// level by level; no entry is kept. Each entry comes with its script line,
// for the line map, if there is one, which also learns of each line the
// chain line (if, elif or else) nearest before it.
class ChainAssembler {
 public:
  ChainAssembler(TextBuffer& out, LineMap* lines) : out_(out), lines_(lines) {}

  bool isOpen() const { return !openBases_.empty(); }
  // Starts a chain, or a chain nested in the open one, at `entry`.
  void open(const LuaStatement& entry, std::size_t line);
  // Takes `entry` if the chain takes it, closing the inner chains it ends on
  // the way. Returns false, with every chain closed and nothing of the entry
  // written, when it ends the outermost chain.
  bool add(const LuaStatement& entry, std::size_t line);
  // Closes every chain still open, innermost first.
  void closeAll();
  // The map's number of the chain line written last.
  std::size_t chainLine() const { return chainLine_; }

 private:
  void closeInnermost();
  void append(const LuaStatement& entry);

  TextBuffer& out_;
  LineMap* lines_;
  std::vector<std::size_t> openBases_;  // indents of the open chains, innermost last
  std::size_t chainLine_ = 0;           // the map's number of the chain line written last
};

// Whether a chain whose `if` line has `base` tabs takes `entry` into its
// Lua entry: a deeper statement, or an elif or else: at its own indent.
// Any statement a nested chain takes, the outermost takes too.
inline bool chainTakes(std::size_t base, const LuaStatement& entry) {
  return entry.indent > base || (entry.indent == base && entry.chainFlag == ChainFlag::continuesChain);
}

// Counts the entries a label's statements make, as TableWriter makes them,
// without writing any: a statement the open chain does not take begins one.
class EntryCounter {
 public:
  void add(const LuaStatement& statement) {
    if (inChain_ && chainTakes(chainBase_, statement)) return;
    ++entries_;
    inChain_ = statement.chainFlag == ChainFlag::opensChain;
    chainBase_ = statement.indent;
  }
  std::size_t entries() const { return entries_; }

 private:
  std::size_t entries_ = 0;
  std::size_t chainBase_ = 0;
  bool inChain_ = false;
};

// Inline: every entry of a chain comes through here, and a call for each
// costs more than the common case.
inline void ChainAssembler::append(const LuaStatement& entry) {
  char* out = out_.room(1 + std::max(entry.tabs, TextBuffer::kPutWord) + entry.text.size());
  *out++ = '\n';
  if (entry.tabs > 0) out = TextBuffer::put(out, entry.tabs, '\t');
  out_.settle(TextBuffer::put(out, entry.text));
}

inline bool ChainAssembler::add(const LuaStatement& entry, std::size_t line) {
  while (isOpen()) {
    const std::size_t base = openBases_.back();
    if (entry.indent > base && entry.chainFlag == ChainFlag::opensChain) {
      open(entry, line);
      return true;
    }
    if (chainTakes(base, entry)) {
      append(entry);
      const bool goesOn = entry.chainFlag == ChainFlag::continuesChain;
      if (goesOn && lines_) chainLine_ = nextLine(*lines_);
      beginLine(lines_, line, goesOn ? LuaLineRole::chainGoesOn : LuaLineRole::chainBody,
                openBases_.size(), chainLine_);
      return true;
    }
    closeInnermost();  // the entry ends it; the enclosing chain looks at it next
  }
  return false;
}

}  // namespace brindle
