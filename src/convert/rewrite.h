// Turns one script statement into one line of Lua (or one line of an
// if/elif/else chain). The rewriting is textual: substitutions act on
// substrings anywhere in the line and are never undone; only the choice of a
// keyword rule looks at the words, which were made before any rewrite.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/line.h"
#include "convert/records.h"

namespace brindle {

// `line` is the normalised statement (four blanks already tabs, a blank after
// every "+=" and "-="), `tokens` its words as splitOn made them (at least
// one). Records a `$` statement's variable in `variableNames`. When the
// statement is malformed in a way the author should hear about, `*warning`
// receives a message (it is left untouched otherwise).
ScriptLine rewriteStatement(std::string line, const std::vector<std::string>& tokens,
                            VariableNames& variableNames, std::string* warning);

// The rewrites every statement gets, in order: the first "$" and the first
// "call " erased, " (" made "(", "is_h=True" and its kin made "true" or
// "false", every other "True" and "False" made lower case. Writes the result
// of `line` into `text` and returns the number of tabs in it.
std::size_t applyCommonRewrites(std::string_view line, std::string& text);

// The same, with the words as splitWords made them, into `result`, whose
// text buffer is reused: the driver's form, which allocates nothing for a
// line once the buffers have grown. `line` must not overlap `result.text`.
// A caller that finds the variables otherwise passes no `variableNames`.
// A caller that knows that no common rewrite applies to the line (a plain
// line, see PlainLineFinder) passes false for `commonRewritesMayApply`.
void rewriteStatementInto(std::string_view line, const Words& words,
                          VariableNames* variableNames, std::string* warning,
                          ScriptLine& result, bool commonRewritesMayApply = true);

// The steps of the rules, for the shortcuts that take a line's rule without
// the general steps.
//
// " (" made "(", "is_h=True" and its kin made "true" or "false", every other
// "True" and "False" made lower case: the common rewrites after the erasures.
void applyValueRewrites(std::string& text);
// Turns `jump_out target` into `jump_out ("target")`, wrapping the target
// wherever it occurs in the line.
void quoteJumpTarget(std::string& line, std::string_view target);
// Turns `name += value` into `name = name + value` (and `-=` likewise). Both
// operators are rewritten whichever one chose the rule.
void expandUpdate(std::string& line, std::string_view name);

}  // namespace brindle
