#include "statements.h"

#include "string_utils.h"
#include "triggers.h"

namespace brindle {

bool isLabelStatement(Words& words) {
  return words.firstMayStartWith(kFirstWordStarts) && words.first() == kLabelWord;
}

std::string labelName(Words& words) {
  std::string name(words.second());
  eraseFirst(name, kColon);
  return name;
}

std::string_view variableOf(Words& words) {
  return words.firstMayStartWith(kFirstWordStarts) && words.first() == kDollarWord
             ? words.second()
             : std::string_view();
}

bool variableOfSimpleLine(std::string_view raw, std::string_view& name) {
  // Blanks in fours become tabs, which leave the first word alone. A name
  // without whitespace or "=" (which "+=" and "-=" end with) is left as it
  // is, and so is a blank after it that fewer than three more follow.
  constexpr char kBlank = kFourBlanks[0];
  std::size_t at = 0;
  while (raw.substr(at, kFourBlanks.size()) == kFourBlanks) at += kFourBlanks.size();
  if (raw.substr(at, kDollarWord.size()) != kDollarWord) return false;
  at += kDollarWord.size();
  if (at == raw.size() || raw[at] != kBlank) return false;
  const std::size_t begin = ++at;
  while (at < raw.size() && !isSpaceByte(raw[at]) && raw[at] != kAddTo[1]) ++at;
  const bool ended = at == raw.size() ||
                     (raw[at] == kBlank && raw.substr(at, kFourBlanks.size()) != kFourBlanks);
  if (at == begin || !ended) return false;
  name = raw.substr(begin, at - begin);
  return true;
}

}  // namespace brindle
