#include "convert/records.h"

namespace brindle {

void recordVariable(VariableNames& variableNames, std::string_view name) {
  if (name.empty()) return;
  if (variableNames.seen.emplace(name).second) {
    variableNames.names.emplace_back(name);
  }
}

}  // namespace brindle
