// The Lua text of a script as brindle writes it, in the flat layout (whose
// lines are those of output.lua in either layout, with a line feed where a
// Windows output.lua has CR LF), cut into the items the checker gives Lua
// one by one: each declaration, each table's opening line (its label key)
// and each entry, with the script line every line of the text comes from.
// The writer reports both as it writes; nothing here reads the text back.
// Plain values; no Lua is run here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "line_map.h"
#include "records.h"

namespace brindle::check {

enum class ItemKind { declaration, labelKey, entry };

// An item is the lines of the text from its first line up to the next
// item's first line; the lines after the last entry of a table (its closing
// "};") belong to that entry. The header before the first item is not one.
struct LuaItem {
  ItemKind kind = ItemKind::entry;
  std::size_t firstLine = 0;  // counting from 0
};

struct LuaText {
  std::string text;
  std::vector<std::size_t> lineStarts;  // offset of each line of `text`
  LineMap lines;                        // for each line of `text`, what it is and its line of the script
  std::vector<LuaItem> items;
  std::vector<Warning> warnings;        // what brindle warns of, with every label problem
};

// Converts `script`, the text that scriptText finds in a file, as brindle
// does, keeping the lines and items; every label problem is warned of, none
// only counted. Throws std::bad_alloc when memory runs out.
LuaText buildLuaText(std::string_view script);

// The offsets where the lines of `text` start: 0, then behind every line
// feed.
std::vector<std::size_t> lineStartsOf(std::string_view text);

}  // namespace brindle::check
