// The statements most lines of a script hold, rewritten in one pass each:
// plain statements, `if`, `elif` and `else:` lines, `jump_out`, `$`
// assignments and updates, `call` and `path_end`. Each shape is taken only
// when its line is laid out so simply (indentation in whole tabs or four
// blanks, single blanks between words, nothing else the rules look for) that
// the result is plainly what normalising, cutting into words and the
// statement rules give; every other line is left to those general steps.
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

}  // namespace brindle
