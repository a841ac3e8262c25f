// The script's variables: every name that a `$` statement sets, each once,
// in first-seen order, and the search that finds them in an input ahead of
// its conversion, so that their declarations can open the output. A
// VariableNames is a plain value; one thread uses it at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// The names are stored end to end in one buffer, with an open-addressing hash
// table of their positions beside it: a test for a known name costs a few
// probes of one array however many names there are, and a name costs its
// own bytes and about thirty more.
struct VariableNames {
  std::string bytes;                 // every name, one after another
  std::vector<std::size_t> ends;     // where each name ends in `bytes`
  std::vector<std::uint64_t> slots;  // a power of two long, at most half full
};

inline std::size_t variableCount(const VariableNames& variableNames) {
  return variableNames.ends.size();
}

// The name recorded `index`-th, counting from 0.
inline std::string_view variableName(const VariableNames& variableNames, std::size_t index) {
  const std::size_t begin = index == 0 ? 0 : variableNames.ends[index - 1];
  return std::string_view(variableNames.bytes).substr(begin, variableNames.ends[index] - begin);
}

// The index of `name`, recorded first if it is not yet, even when empty.
std::size_t internName(VariableNames& variableNames, std::string_view name);

// The index of `name`, or kNoName when it is not recorded.
inline constexpr std::size_t kNoName = static_cast<std::size_t>(-1);
std::size_t findName(const VariableNames& variableNames, std::string_view name);

// Appends `name` unless it is already recorded or empty (an empty name would
// declare " = 0;", which no Lua can load).
void recordVariable(VariableNames& variableNames, std::string_view name);

// Records, in their order, the names of `more` that `variableNames` lacks.
void recordVariables(VariableNames& variableNames, const VariableNames& more);

// The variables of the `$` statements of `input`, as reading the whole
// script line by line finds them, found by looking only at the lines whose
// first word may be "$".
VariableNames findVariables(std::string_view input);

}  // namespace brindle
