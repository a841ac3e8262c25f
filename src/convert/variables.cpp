#include "variables.h"

#include <algorithm>

#include "normalise.h"
#include "rewrite.h"
#include "statements.h"
#include "scan.h"
#include "string_utils.h"
#include "triggers.h"
#include "words.h"

namespace brindle {

void addVariable(NameTable& variableNames, std::string_view name) {
  if (!name.empty()) addName(variableNames, name);
}

void addVariables(NameTable& variableNames, const NameTable& more) {
  for (std::size_t k = 0; k < nameCount(more); ++k) addVariable(variableNames, nameAt(more, k));
}

NameTable findVariables(std::string_view input, std::vector<std::size_t>* firstLines) {
  // Normalising a line changes only blanks, so a line can have "$" for its
  // first word only when its first "$" has nothing but whitespace before it.
  // The name of each such line is read straight from it where it is laid
  // out simply, else through the same steps as the conversion's.
  NameTable variableNames;
  std::string line;
  Words words;
  std::size_t lineNumber = 1;  // of the offset `counted`
  std::size_t counted = 0;
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
    const std::size_t known = nameCount(variableNames);
    addVariable(variableNames, name);
    if (firstLines && nameCount(variableNames) != known) {
      lineNumber += static_cast<std::size_t>(
          std::count(input.begin() + static_cast<std::ptrdiff_t>(counted),
                     input.begin() + static_cast<std::ptrdiff_t>(begin), '\n'));
      counted = begin;
      firstLines->push_back(lineNumber);
    }
    at = begin + raw.size();  // the search goes on from the line end
  }
  return variableNames;
}

}  // namespace brindle
