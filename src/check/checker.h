// What of a script's Lua text Lua's own parser refuses, and where in the
// script it comes from. Each declaration, label key and entry is given to
// the parser in its real context, many at once, and one alone where Lua
// refuses them, so that the item to blame is found and the rest still
// looked at. One call makes its own lua_State and closes it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "lua_text.h"

namespace brindle::check {

enum class FindingKind {
  luaSyntax,             // a label key or entry Lua's parser refuses
  unassignableVariable,  // a `$` name whose declaration `NAME = 0;` Lua refuses
  undefinedJumpTarget,   // a jump_out to a label the script does not define
  duplicateLabel,        // a label defined again; its table replaces the earlier
};

struct Finding {
  std::size_t line = 0;  // of the script, from 1
  FindingKind kind = FindingKind::luaSyntax;
  std::string message;
};

// Appends a finding for every item of `lua` that Lua refuses, in the order
// of the items. Throws std::bad_alloc when memory runs out.
void findLuaRefusals(const LuaText& lua, std::vector<Finding>& findings);

}  // namespace brindle::check
