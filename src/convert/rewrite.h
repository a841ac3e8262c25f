// The statement rules: what a line's words make of it. Each rule is written
// in one function of rewrite.cpp and takes its texts from triggers.h. The
// rewriting is textual: substitutions act on substrings anywhere in a line
// and are never undone; only the choice of a rule looks at the words, which
// were made from the normalised line before any rewrite. Plain functions;
// any thread may call them.
#pragma once

#include <string>
#include <string_view>

#include "words.h"
#include "records.h"
#include "triggers.h"

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

// Rewrites `statement.text`, a normalised statement (not a label statement)
// whose words are `words`, by the rules, and sets its indent and chain role:
// the common rewrites (the first "$" and the first "call " erased, then the
// value rewrites), the number of tabs, then the keyword rule. `triggers` are
// those the line was scanned to hold (kEveryTrigger when not known); the
// steps they rule out are skipped. When the statement is malformed in a way
// the author should hear about, `*warning` receives a message (it is left
// untouched otherwise). For a `jump_out` statement with a target,
// `*jumpTarget` receives the target, when asked for (it is left untouched
// otherwise). The words may view the text; they are not looked at once it
// changes.
void rewriteStatement(Words& words, TriggerSet triggers, ScriptLine& statement,
                      std::string* warning, std::string* jumpTarget = nullptr);

}  // namespace brindle
