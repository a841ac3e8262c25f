// The fix for a common mistake, in the author's terms: what a script line
// that Lua refuses most likely needs. Found from the line alone, outside its
// quoted texts and comments. Plain functions; any thread may call them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::check {

enum class HintKind {
  notEqual,      // "!=", which Lua writes "~="
  andOperator,   // "&&"
  orOperator,    // "||"
  notOperator,   // "!"
  hashComment,   // a line that starts with "#", as a Python comment does
  elseIf,        // "else if", which the script language writes "elif"
  missingColon,  // an if or elif line without its colon
  noSpeaker,     // a line that is only a quoted text
};

struct Hint {
  HintKind kind = HintKind::notEqual;
  std::string fix;              // "write ~= instead of !="
  std::size_t column = 0;       // where the text to change starts, from 1
  std::size_t endColumn = 0;    // one past its end
  // Where the fix is one exact edit, the text that replaces the columns
  // ("~=", " and " between two names, ":" at the end); else empty.
  std::string replacement;
};

// The hints for `line`, a line of the script, in the order of their places.
std::vector<Hint> hintsFor(std::string_view line);

// The fixes of `hints` in one clause: "write ~= instead of != and end the
// line with a colon"; appended to `out`, or made.
void appendFixes(std::string& out, const std::vector<Hint>& hints);
std::string joinFixes(const std::vector<Hint>& hints);

}  // namespace brindle::check
