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
enum class ChainRole : std::int32_t {
  opensChain = 0,      // an `if` line
  continuesChain = 1,  // an `elif` or `else:` line
  plainStatement = 3,  // anything else
};

struct ScriptLine {
  std::string text;         // the rewritten statement, leading tabs included
  std::size_t indent = 0;   // tab characters anywhere in the line
  ChainRole chainFlag = ChainRole::plainStatement;
};

struct LabelBlock {
  std::string name;
  std::vector<ScriptLine> lines;  // in input order
};

// A message about one input line; `line` counts from 1.
struct Warning {
  std::size_t line = 0;
  std::string message;
};

// A name as one line uses it (a variable's, where it is first set).
struct NamedLine {
  std::string name;
  std::size_t line = 0;
};

}  // namespace brindle
