// The statements most lines of a script hold, rewritten in one pass each:
// plain statements, `if`, `elif` and `else:` lines, `jump_out`, `$`
// assignments and updates, `call` and `path_end`. Each shape is taken only
// when its line is laid out so simply (indentation in whole tabs or four
// blanks, single blanks between words, nothing else the rules look for) that
// the result is plainly what normalising, cutting into words and the
// statement rules give; every other line is left to those general steps.
// The variable a simple `$` line declares is read the same way.
#pragma once

#include <string_view>

#include "convert/records.h"

namespace brindle {

// Rewrites `raw`, a non-empty line as read (its line end taken off), into
// `statement` when it has one of the shapes above, and returns true; returns
// false, for the general steps, otherwise. `plain` tells whether the
// PlainLineFinder found the line plain. `mayHoldPathEnd` is set false when
// the statement's text holds no "pat", so that none of its bytes can start
// a "path_end;".
bool shortcutStatement(std::string_view raw, bool plain, ScriptLine& statement,
                       bool& mayHoldPathEnd);

// The variable of a `$` line laid out simply: indentation in blanks, four
// to a tab, then "$", one blank and a name of bytes that neither
// normalising nor the word split change (no whitespace, no "="), up to the
// next blank, which fewer than four blanks follow (four would become a tab,
// which would join the name to what comes after). Such a name is the second
// word of the line. Returns false for any other line starting with "$".
bool variableShortcut(std::string_view raw, std::string_view& name);

}  // namespace brindle
