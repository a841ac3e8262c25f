// What each line of a Lua text is and the script line it comes from, as the
// writer reports them while it writes: brindle-check gives Lua the text item
// by item and names the script line of whatever Lua refuses. The lines are
// those of output.lua in either layout, since grouping adds no line. A
// reader that is done with the first lines may let them go. A plain value,
// filled by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindle {

enum class LuaLineRole : std::uint8_t {
  header,        // the header, and the empty lines after the declarations (script line 0)
  declaration,   // a variable's declaration (the line where it is first set)
  tableSpace,    // the empty line before a table's key (the label's line)
  tableKey,      // a table's first line, with its key (the label's line)
  entry,         // an entry's first line (the statement's line)
  chainOpen,     // an if line of a chain (its statement's line)
  chainGoesOn,   // an elif or else line that continues a chain
  chainBody,     // any other statement of a chain, and the empty line after an if line
  chainEnd,      // a line that closes a chain (the script line of the line before)
  tableEnd,      // a table's closing "};" (the script line of the line before)
};

// Within an entry that holds a chain, how many lines back the if, elif or
// else line nearest before a line stands (0: the line is one); outside
// chains, none.
inline constexpr std::uint32_t kNoChainLine = UINT32_MAX;

struct LuaLine {
  std::size_t scriptLine = 0;  // from 1; 0 for none
  std::uint32_t openChains = 0;  // chains open after the line, within its entry
  std::uint32_t chainLine = kNoChainLine;  // lines back to the chain line it is written under
  LuaLineRole role = LuaLineRole::header;
};

struct LineMap {
  std::vector<LuaLine> lines;  // from line `firstLine` of the text on
  std::size_t firstLine = 0;   // the lines before it have been let go
};

// The entry of line `line`, which must not have been let go.
inline const LuaLine& lineOf(const LineMap& map, std::size_t line) {
  return map.lines[line - map.firstLine];
}

// Lets the lines before `line` go, all but the last one recorded (a
// closing line to come takes its script line), moving the rest only once as
// many have gone as stay, so that letting go costs as much as the lines
// themselves.
inline void letLinesGo(LineMap& map, std::size_t line) {
  if (map.lines.empty()) return;
  const std::size_t last = map.firstLine + map.lines.size() - 1;
  const std::size_t keep = line < last ? line : last;
  const std::size_t gone = keep > map.firstLine ? keep - map.firstLine : 0;
  if (gone == 0 || 2 * gone < map.lines.size()) return;
  map.lines.erase(map.lines.begin(), map.lines.begin() + static_cast<std::ptrdiff_t>(gone));
  map.firstLine = keep;
}

// Whether a line of this role begins an item of the text: a declaration, a
// table's key, an entry. An item runs to the next item's first line.
constexpr bool beginsItem(LuaLineRole role) {
  return role == LuaLineRole::declaration || role == LuaLineRole::tableKey ||
         role == LuaLineRole::entry;
}

// The number the next line recorded in the map gets.
inline std::size_t nextLine(const LineMap& map) { return map.firstLine + map.lines.size(); }

// Records, when there is a map, the line that a line feed just written
// begins; `chainLine` is the number of the chain line it is written under,
// if any.
inline void beginLine(LineMap* map, std::size_t scriptLine, LuaLineRole role,
                      std::size_t openChains = 0, std::size_t chainLine = SIZE_MAX) {
  if (!map) return;
  const std::size_t line = nextLine(*map);
  map->lines.push_back({scriptLine, static_cast<std::uint32_t>(openChains),
                        chainLine <= line && line - chainLine < kNoChainLine
                            ? static_cast<std::uint32_t>(line - chainLine)
                            : kNoChainLine,
                        role});
}

// Records the line that a line feed just written begins, which goes with the
// script line of the line before it: a chain's or a table's end.
inline void beginClosingLine(LineMap* map, LuaLineRole role, std::size_t openChains = 0,
                             std::size_t chainLine = SIZE_MAX) {
  if (map) {
    beginLine(map, map->lines.empty() ? 0 : map->lines.back().scriptLine, role, openChains, chainLine);
  }
}

}  // namespace brindle
