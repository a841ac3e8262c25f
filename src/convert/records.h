// The records a conversion builds from a script: one ScriptLine per stored
// statement, one LabelBlock per `label` statement, and the warnings about
// lines. Plain values with no behaviour of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brindle {

// The role of a statement in an if/elif/else chain.
enum class ChainFlag : std::int32_t {
  opensChain = 0,      // an `if` line
  continuesChain = 1,  // an `elif` or `else:` line
  plainStatement = 3,  // anything else
};

struct ScriptLine {
  std::string text;         // the rewritten statement, leading tabs included
  std::size_t indent = 0;   // tab characters anywhere in the line
  ChainFlag chainFlag = ChainFlag::plainStatement;
};

struct LabelBlock {
  std::string name;
  std::vector<ScriptLine> lines;  // in input order
};

// What a warning is about, for a reader that treats some apart (brindle-check
// reports the label problems as findings of their own).
enum class WarningKind {
  other,
  undefinedJumpTarget,  // a jump_out to a label no label statement defines
  redefinedLabel,       // a label defined again; its table replaces the earlier one
  notShown,             // how many more of a kind there are than are shown
  textChange,           // the conversion changes a quoted text of the statement
};

// A message about one input line; `line` counts from 1.
struct Warning {
  std::size_t line = 0;
  std::string message;
  WarningKind kind = WarningKind::other;
};

}  // namespace brindle
