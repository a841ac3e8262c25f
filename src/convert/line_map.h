// What each line of a Lua text is and the script line it comes from, as the
// writer reports them while it writes: brindle-check gives Lua the text item
// by item and names the script line of whatever Lua refuses. The lines are
// those of output.lua in either layout, since grouping adds no line. A plain
// value, filled by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindle {

enum class LuaLineRole : std::uint8_t {
  header,       // the header, and the empty lines after the declarations (script line 0)
  declaration,  // a variable's declaration (the line where it is first set)
  tableSpace,   // the empty line before a table's key (the label's line)
  tableKey,     // a table's first line, with its key (the label's line)
  entry,        // an entry's first line (the statement's line)
  chainPart,    // a further line of a chain's entry (its statement's line)
  chainEnd,     // a line that closes a chain (the script line of the line before)
  tableEnd,     // a table's closing "};" (the script line of the line before)
};

struct LuaLine {
  std::size_t scriptLine = 0;  // from 1; 0 for none
  LuaLineRole role = LuaLineRole::header;
};

// One entry per line of the text, from its first.
struct LineMap {
  std::vector<LuaLine> lines;
};

// Whether a line of this role begins an item of the text: a declaration, a
// table's key, an entry. An item runs to the next item's first line.
constexpr bool beginsItem(LuaLineRole role) {
  return role == LuaLineRole::declaration || role == LuaLineRole::tableKey ||
         role == LuaLineRole::entry;
}

// Records, when there is a map, the line that a line feed just written
// begins.
inline void beginLine(LineMap* map, std::size_t scriptLine, LuaLineRole role) {
  if (map) map->lines.push_back({scriptLine, role});
}

// Records the line that a line feed just written begins, which goes with the
// script line of the line before it: a chain's or a table's end.
inline void beginClosingLine(LineMap* map, LuaLineRole role) {
  if (map) map->lines.push_back({map->lines.empty() ? 0 : map->lines.back().scriptLine, role});
}

}  // namespace brindle
