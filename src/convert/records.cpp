#include "convert/records.h"

#include <algorithm>
#include <functional>

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
std::uint64_t& slotFor(VariableNames& variableNames, std::string_view name, std::uint64_t hash) {
  const std::size_t mask = variableNames.slots.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
    std::uint64_t& slot = variableNames.slots[i];
    if (slot == 0) return slot;
    if ((slot & ~kPositionMask) == tagOf(hash) &&
        variableNames.names[(slot & kPositionMask) - 1] == name) {
      return slot;
    }
  }
}

void doubleTheTable(VariableNames& variableNames) {
  variableNames.slots.assign(std::max<std::size_t>(64, 2 * variableNames.slots.size()), 0);
  for (std::size_t k = 0; k < variableNames.names.size(); ++k) {
    const std::uint64_t hash = hashOf(variableNames.names[k]);
    slotFor(variableNames, variableNames.names[k], hash) = tagOf(hash) | (k + 1);
  }
}

}  // namespace

void recordVariable(VariableNames& variableNames, std::string_view name) {
  if (name.empty()) return;
  if (2 * (variableNames.names.size() + 1) > variableNames.slots.size()) doubleTheTable(variableNames);
  const std::uint64_t hash = hashOf(name);
  std::uint64_t& slot = slotFor(variableNames, name, hash);
  if (slot != 0) return;
  variableNames.names.emplace_back(name);
  slot = tagOf(hash) | variableNames.names.size();
}

}  // namespace brindle
