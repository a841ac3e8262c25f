#include "variables.h"

namespace brindle {

void addVariable(NameTable& variableNames, std::string_view name) {
  if (!name.empty()) addName(variableNames, name);
}

}  // namespace brindle
