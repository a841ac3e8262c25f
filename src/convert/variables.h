// The script's variables: every name that a `$` statement sets, each once,
// in first-seen order, and the search that finds them in an input ahead of
// its conversion, so that their declarations can open the output. Plain
// functions over a NameTable; any thread may call them on its own tables.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "names.h"

namespace brindle {

// Adds `name` unless it is already there or empty (an empty name would
// declare " = 0;", which no Lua can load).
void addVariable(NameTable& variableNames, std::string_view name);

// Adds, in their order, the names of `more` that `variableNames` lacks.
void addVariables(NameTable& variableNames, const NameTable& more);

// The variables of the `$` statements of `input`, as reading the whole
// script line by line finds them, found by looking only at the lines whose
// first word may be "$". With `firstLines`, the line (from 1) where each is
// first set is put there, in the same order.
NameTable findVariables(std::string_view input, std::vector<std::size_t>* firstLines = nullptr);

}  // namespace brindle
