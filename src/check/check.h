// brindle-check's findings: what of a script's Lua will not load, and where
// in test.py it comes from. Each declaration, label key and entry of the
// text brindle writes is given to Lua's own parser in its real context (many
// at once, and one alone where Lua refuses them); jumps to labels that are
// not there and labels defined twice are found as brindle finds them. No
// file I/O; one call makes its own lua_State and closes it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "records.h"

namespace brindle::check {

enum class FindingKind {
  luaSyntax,             // a label key or entry Lua's parser refuses
  unassignableVariable,  // a `$` name whose declaration `NAME = 0;` Lua refuses
  undefinedJumpTarget,   // a jump_out to a label the script does not define
  duplicateLabel,        // a label defined again; its table replaces the earlier
};

struct Finding {
  std::size_t line = 0;  // of test.py, from 1
  FindingKind kind = FindingKind::luaSyntax;
  std::string message;
};

struct CheckReport {
  std::vector<Warning> warnings;  // those brindle prints, in its order
  std::vector<Finding> findings;  // sorted by line; the order found within a line
  std::string error;  // why test.py holds no script (malformed UTF-16); nothing else is set then
};

// Checks `file`, the bytes of test.py. Throws std::bad_alloc when memory
// runs out.
CheckReport checkScript(std::string_view file);

// "test.py:LINE: error: MESSAGE".
std::string describeFinding(const Finding& finding);

// The closing line: how many lines will not load, counted by kind, or that
// all of them will.
std::string summaryLine(const std::vector<Finding>& findings);

// Makes Lua 5.1 refuse the escapes that Lua 5.4 and LuaJIT refuse but 5.1
// reads as the bare character ("\q"): `marked` receives `text` with each
// such backslash made the start of a decimal escape too large for any Lua
// ("\999q"), and `marks` the offsets of those backslashes in it. Where a
// backslash stands in a comment or a long string the mark changes nothing
// of what loads, and outside any string every Lua refuses a backslash
// anyway. Returns false, leaving `marked` alone, when there is none.
bool markEscapesNewerLuasRefuse(std::string_view text, std::string& marked,
                                std::vector<std::size_t>& marks);

}  // namespace brindle::check
