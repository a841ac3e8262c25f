#include "variables.h"

#include <algorithm>
#include <functional>

#include "line.h"
#include "rewrite.h"
#include "string_utils.h"
#include "triggers.h"

namespace brindle {
namespace {

// A slot holds the position of a name in the list plus one in its low bits
// and the top bits of the name's hash above them, so that a probe compares
// names only when those bits agree: a new name costs one look at the table,
// not one at every name met on the way. Zero marks a free slot.
constexpr unsigned kPositionBits = 40;
constexpr std::uint64_t kPositionMask = (std::uint64_t{1} << kPositionBits) - 1;

std::uint64_t hashOf(std::string_view name) {
  return static_cast<std::uint64_t>(std::hash<std::string_view>{}(name));
}

std::uint64_t tagOf(std::uint64_t hash) { return hash >> kPositionBits << kPositionBits; }

// The slot that holds `name`, or the free slot where it belongs.
template <typename Names>
auto& slotFor(Names& variableNames, std::string_view name, std::uint64_t hash) {
  const std::size_t mask = variableNames.slots.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
    auto& slot = variableNames.slots[i];
    if (slot == 0) return slot;
    if ((slot & ~kPositionMask) == tagOf(hash) &&
        variableName(variableNames, (slot & kPositionMask) - 1) == name) {
      return slot;
    }
  }
}

// Doubles the hash table and puts every recorded name in its new slot.
void growSlots(VariableNames& variableNames) {
  variableNames.slots.assign(std::max<std::size_t>(64, 2 * variableNames.slots.size()), 0);
  for (std::size_t k = 0; k < variableCount(variableNames); ++k) {
    const std::string_view name = variableName(variableNames, k);
    const std::uint64_t hash = hashOf(name);
    slotFor(variableNames, name, hash) = tagOf(hash) | (k + 1);
  }
}

}  // namespace

std::size_t internName(VariableNames& variableNames, std::string_view name) {
  if (2 * (variableCount(variableNames) + 1) > variableNames.slots.size()) growSlots(variableNames);
  const std::uint64_t hash = hashOf(name);
  std::uint64_t& slot = slotFor(variableNames, name, hash);
  if (slot == 0) {
    variableNames.bytes.append(name);
    variableNames.ends.push_back(variableNames.bytes.size());
    slot = tagOf(hash) | variableNames.ends.size();
  }
  return static_cast<std::size_t>((slot & kPositionMask) - 1);
}

std::size_t findName(const VariableNames& variableNames, std::string_view name) {
  if (variableNames.slots.empty()) return kNoName;
  const std::uint64_t slot = slotFor(variableNames, name, hashOf(name));
  return slot == 0 ? kNoName : static_cast<std::size_t>((slot & kPositionMask) - 1);
}

void recordVariable(VariableNames& variableNames, std::string_view name) {
  if (!name.empty()) internName(variableNames, name);
}

void recordVariables(VariableNames& variableNames, const VariableNames& more) {
  for (std::size_t k = 0; k < variableCount(more); ++k) {
    recordVariable(variableNames, variableName(more, k));
  }
}

VariableNames findVariables(std::string_view input) {
  // Normalising a line changes only blanks, so a line can have "$" for its
  // first word only when its first "$" has nothing but whitespace before it.
  // The name of each such line is read straight from it where it is laid
  // out simply, else through the same steps as the conversion's.
  VariableNames variableNames;
  std::string line;
  Words words;
  std::size_t at = 0;
  while ((at = input.find(kDollar, at)) != std::string_view::npos) {
    std::size_t begin = at;
    while (begin > 0 && input[begin - 1] != '\n' && isSpaceByte(input[begin - 1])) --begin;
    if (begin != 0 && input[begin - 1] != '\n') {
      const std::size_t end = input.find('\n', at);
      if (end == std::string_view::npos) break;
      at = end + 1;
      continue;
    }
    const std::string_view raw = lineAt(input, begin);
    std::string_view name;
    if (!variableOfSimpleLine(raw, name)) {
      normaliseLine(raw, kEveryTrigger, line);
      words.reset(line);
      name = variableOf(words);
    }
    recordVariable(variableNames, name);
    at = begin + raw.size();  // the search goes on from the line end
  }
  return variableNames;
}

}  // namespace brindle
