// The records a conversion builds from a script: one ScriptLine per stored
// statement, one LabelBlock per `label` statement, and the script's variable
// names in first-seen order. Plain values; the driver owns them all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// Roles of a statement in an if/elif/else chain.
inline constexpr std::int32_t kOpensChain = 0;      // an `if` line
inline constexpr std::int32_t kContinuesChain = 1;  // an `elif` or `else:` line
inline constexpr std::int32_t kPlainStatement = 3;  // anything else

struct ScriptLine {
  std::string text;         // the rewritten statement, leading tabs included
  std::size_t indent = 0;   // tab characters anywhere in the line
  std::int32_t chainFlag = kPlainStatement;
};

struct LabelBlock {
  std::string name;
  std::vector<ScriptLine> lines;  // in input order
};

// Variable names in first-seen order, each once. Beside the list, an
// open-addressing hash table of positions in it keeps the test for a known
// name to a few probes of one array, however many variables a script has,
// and stores no name twice.
struct VariableNames {
  std::vector<std::string> names;
  std::vector<std::uint64_t> slots;  // a power of two long, at most half full
};

// Appends `name` unless it is already recorded or empty (an empty name would
// declare " = 0;", which no Lua can load).
void recordVariable(VariableNames& variableNames, std::string_view name);

// A message about one input line; `line` counts from 1.
struct Warning {
  std::size_t line = 0;
  std::string message;
};

}  // namespace brindle
