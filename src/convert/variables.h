// The script's variables: every name that a `$` statement sets, each once,
// in first-seen order, so that each gets a declaration. A plain function
// over a NameTable; any thread may call it on its own table.
#pragma once

#include <string_view>

#include "names.h"

namespace brindle {

// Adds `name` unless it is already there or empty (an empty name would
// declare " = 0;", which no Lua can load).
inline void addVariable(NameTable& variableNames, std::string_view name) {
  if (!name.empty()) addName(variableNames, name);
}

}  // namespace brindle
