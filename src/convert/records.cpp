#include "convert/records.h"

#include <algorithm>
#include <functional>

namespace brindle {
namespace {

std::size_t hashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }

// The free slot for a name that is not in the table, or the slot that holds it.
std::size_t& slotFor(VariableNames& variableNames, std::string_view name) {
  const std::size_t mask = variableNames.slots.size() - 1;
  for (std::size_t i = hashOf(name) & mask;; i = (i + 1) & mask) {
    std::size_t& slot = variableNames.slots[i];
    if (slot == 0 || variableNames.names[slot - 1] == name) return slot;
  }
}

void doubleTheTable(VariableNames& variableNames) {
  variableNames.slots.assign(std::max<std::size_t>(64, 2 * variableNames.slots.size()), 0);
  for (std::size_t k = 0; k < variableNames.names.size(); ++k) {
    slotFor(variableNames, variableNames.names[k]) = k + 1;
  }
}

}  // namespace

void recordVariable(VariableNames& variableNames, std::string_view name) {
  if (name.empty()) return;
  if (2 * (variableNames.names.size() + 1) > variableNames.slots.size()) doubleTheTable(variableNames);
  std::size_t& slot = slotFor(variableNames, name);
  if (slot != 0) return;
  variableNames.names.emplace_back(name);
  slot = variableNames.names.size();
}

}  // namespace brindle
