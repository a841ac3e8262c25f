#include "chain.h"

#include "output_texts.h"

namespace brindle {

void ChainAssembler::open(const ScriptLine& entry, std::size_t line) {
  openBases_.push_back(entry.indent);
  out_.append("\n").append(entry.text).append("\n");
  beginLine(lines_, line, LuaLineRole::chainOpen, openBases_.size());
  beginLine(lines_, line, LuaLineRole::chainBody, openBases_.size());
}

bool ChainAssembler::add(const ScriptLine& entry, std::size_t line) {
  while (isOpen()) {
    const std::size_t base = openBases_.back();
    if (entry.indent > base && entry.chainFlag == ChainFlag::opensChain) {
      open(entry, line);
      return true;
    }
    if (entry.indent > base ||
        (entry.indent == base && entry.chainFlag == ChainFlag::continuesChain)) {
      out_.append("\n").append(entry.text);
      beginLine(lines_, line,
                entry.chainFlag == ChainFlag::continuesChain ? LuaLineRole::chainGoesOn
                                                             : LuaLineRole::chainBody,
                openBases_.size());
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
  out_.append("\n").append(openBases_.back(), '\t').append(kChainEnd);
  openBases_.pop_back();
  beginClosingLine(lines_, LuaLineRole::chainEnd, openBases_.size());
}

}  // namespace brindle
