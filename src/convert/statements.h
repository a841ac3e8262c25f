// What a statement is, read from its words before any rewrite: whether it
// opens a label block and which, and the variable a `$` line sets. The
// words are those of the normalised line (words.h); the texts compared are
// those of triggers.h. Plain functions; any thread may call them.
#pragma once

#include <string>
#include <string_view>

#include "words.h"

namespace brindle {

// Whether the line opens a label block: its first word is "label".
bool isLabelStatement(Words& words);

// The name of the block a label statement opens: its second word with the
// first colon taken out, written into `name`. Empty when there is no second
// word.
void labelName(Words& words, std::string& name);

// The variable a `$` statement sets: its second word. Empty for any other
// statement, and for a `$` with nothing after it.
std::string_view variableOf(Words& words);

}  // namespace brindle
