#include "convert/chain.h"

#include <vector>

namespace brindle {

void buildConditionalBlock(const LabelBlock& block, std::size_t& position,
                           std::string& out) {
  const std::vector<ScriptLine>& lines = block.lines;
  std::vector<std::size_t> openBases;  // indents of the open chains, innermost last

  const auto openChain = [&](const ScriptLine& entry) {
    openBases.push_back(entry.indent);
    out.append("\n").append(entry.text).append("\n");
  };
  const auto closeChain = [&] {
    out.append("\n").append(openBases.back(), '\t').append("end");
    openBases.pop_back();
  };

  openChain(lines[position]);
  ++position;
  while (!openBases.empty()) {
    if (position == lines.size()) {
      closeChain();  // running out of entries closes every open chain, innermost first
      continue;
    }
    const ScriptLine& entry = lines[position];
    const std::size_t base = openBases.back();
    if (entry.indent > base && entry.chainFlag == kOpensChain) {
      openChain(entry);
    } else if (entry.indent > base ||
               (entry.indent == base && entry.chainFlag == kContinuesChain)) {
      out.append("\n").append(entry.text);
    } else {
      // The entry ends the innermost chain; the enclosing one looks at it next.
      closeChain();
      continue;
    }
    ++position;
  }
}

}  // namespace brindle
