#include "convert/records.h"

namespace brindle {

void recordVariable(VariableNames& variableNames, std::string_view name) {
  if (name.empty()) return;
  if (variableNames.seen.find(name) != variableNames.seen.end()) return;
  variableNames.seen.emplace(name);
  variableNames.names.emplace_back(name);
}

}  // namespace brindle
