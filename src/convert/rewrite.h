// Turns one script statement into one line of Lua (or one line of an
// if/elif/else chain). The rewriting is textual: substitutions act on
// substrings anywhere in the line and are never undone; only the choice of a
// keyword rule looks at the words, which were made before any rewrite.
#pragma once

#include <string>
#include <vector>

#include "convert/records.h"

namespace brindle {

// `line` is the normalised statement (four blanks already tabs, a blank after
// every "+=" and "-="), `tokens` its words as splitOn made them (at least
// one). Records a `$` statement's variable in `variableNames`. When the
// statement is malformed in a way the author should hear about, `*warning`
// receives a message (it is left untouched otherwise).
ScriptLine rewriteStatement(std::string line, const std::vector<std::string>& tokens,
                            VariableNames& variableNames, std::string* warning);

}  // namespace brindle
