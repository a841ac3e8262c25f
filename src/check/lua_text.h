// The Lua text of a script as brindle writes it, cut into the items the
// checker looks at one by one: each declaration, each table's opening line
// (its label key) and each entry, with the script line every line of the
// text comes from. Plain values; no Lua is run here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "labels.h"
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
  std::string text;                       // exactly the text of output.lua
  std::vector<std::size_t> lineStarts;    // offset of each line of `text`
  std::vector<std::size_t> scriptLines;   // for each line of `text`, its line of test.py (0: none)
  std::vector<LuaItem> items;
  std::vector<Warning> warnings;          // what brindle warns of, less the label problems
  LabelReferences references;
  std::string error;  // why the file holds no script; nothing else is set then
};

// Converts `file`, the bytes of test.py, as brindle does, keeping the lines
// and items. Throws std::bad_alloc when memory runs out.
LuaText buildLuaText(std::string_view file);

// The lines of `lua.text` that items [first, last) span, as offsets.
inline std::size_t itemsBegin(const LuaText& lua, std::size_t first) {
  return lua.lineStarts[lua.items[first].firstLine];
}
inline std::size_t itemsEnd(const LuaText& lua, std::size_t last) {
  return last < lua.items.size() ? lua.lineStarts[lua.items[last].firstLine] : lua.text.size();
}

}  // namespace brindle::check
