#include "chain.h"

namespace brindle {

void ChainAssembler::open(const ScriptLine& entry) {
  openBases_.push_back(entry.indent);
  out_.append("\n").append(entry.text).append("\n");
}

bool ChainAssembler::add(const ScriptLine& entry) {
  while (isOpen()) {
    const std::size_t base = openBases_.back();
    if (entry.indent > base && entry.chainFlag == ChainRole::opensChain) {
      open(entry);
      return true;
    }
    if (entry.indent > base ||
        (entry.indent == base && entry.chainFlag == ChainRole::continuesChain)) {
      out_.append("\n").append(entry.text);
      return true;
    }
    closeInnermost();  // the entry ends it; the enclosing chain looks at it next
  }
  return false;
}

void ChainAssembler::closeAll() {
  while (isOpen()) closeInnermost();
}

void ChainAssembler::closeInnermost() {
  out_.append("\n").append(openBases_.back(), '\t').append("end");
  openBases_.pop_back();
}

void buildConditionalBlock(const LabelBlock& block, std::size_t& position, std::string& out) {
  ChainAssembler chain(out);
  chain.open(block.lines[position]);
  ++position;
  while (position < block.lines.size() && chain.add(block.lines[position])) ++position;
  chain.closeAll();  // when the entries ran out; a chain that an entry ended is closed
}

}  // namespace brindle
