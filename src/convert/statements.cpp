#include "statements.h"

#include "string_utils.h"
#include "triggers.h"

namespace brindle {

bool isLabelStatement(Words& words) {
  return words.firstWord() == FirstWord::label;
}

void labelName(Words& words, std::string& name) {
  name.assign(words.second());
  eraseFirst(name, kColon);
}

std::string_view variableOf(Words& words) {
  return words.firstWord() == FirstWord::dollar ? words.second() : std::string_view();
}

}  // namespace brindle
