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
// first colon taken out. Empty when there is no second word.
std::string labelName(Words& words);

// The variable a `$` statement sets: its second word. Empty for any other
// statement, and for a `$` with nothing after it.
std::string_view variableOf(Words& words);

// The same read straight from a line as it stands in the script, for the
// lines laid out simply enough that normalising them and cutting them into
// words plainly leaves the name as it stands: leading blanks in fours, "$",
// one blank, then a name of bytes that are neither whitespace nor "=",
// ended by the end of the line or by fewer than four blanks. Returns false,
// for the general steps, for any other line.
bool variableOfSimpleLine(std::string_view raw, std::string_view& name);

}  // namespace brindle
