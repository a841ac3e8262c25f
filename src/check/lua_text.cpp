#include "lua_text.h"

#include <limits>

#include "convert.h"

namespace brindle::check {

std::vector<std::size_t> lineStartsOf(std::string_view text) {
  std::vector<std::size_t> starts{0};
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    starts.push_back(at + 1);
  }
  return starts;
}

LuaText buildLuaText(std::string_view script) {
  LuaText lua;
  ConvertOptions options;
  // The flat text: the parse is of items in their context, which grouping
  // would only wrap, so no table is cut into pieces either.
  options.mostItemsPerFunction = std::numeric_limits<std::size_t>::max();
  options.mostLabelWarnings = std::numeric_limits<std::size_t>::max();
  options.lineMap = &lua.lines;
  Conversion conversion;
  convertText(script, conversion, {}, options);
  lua.text = std::move(conversion.lua);
  lua.warnings = std::move(conversion.warnings);
  const auto kindOf = [](LuaLineRole role) {
    return role == LuaLineRole::declaration ? ItemKind::declaration
           : role == LuaLineRole::tableKey  ? ItemKind::labelKey
                                            : ItemKind::entry;
  };
  for (std::size_t line = 0; line < lua.lines.lines.size(); ++line) {
    const LuaLineRole role = lua.lines.lines[line].role;
    if (beginsItem(role)) lua.items.push_back({kindOf(role), line});
  }
  lua.lineStarts = lineStartsOf(lua.text);
  return lua;
}

}  // namespace brindle::check
