#include "chain.h"

#include "output_texts.h"

namespace brindle {

void ChainAssembler::open(const LuaStatement& entry, std::size_t line) {
  openBases_.push_back(entry.indent);
  append(entry);
  out_.push_back('\n');
  if (lines_) chainLine_ = nextLine(*lines_);
  beginLine(lines_, line, LuaLineRole::chainOpen, openBases_.size(), chainLine_);
  beginLine(lines_, line, LuaLineRole::chainBody, openBases_.size(), chainLine_);
}

void ChainAssembler::closeAll() {
  while (isOpen()) closeInnermost();
}

void ChainAssembler::closeInnermost() {
  out_.push_back('\n');
  out_.append(openBases_.back(), '\t');
  out_.append(kChainEnd);
  openBases_.pop_back();
  beginClosingLine(lines_, LuaLineRole::chainEnd, openBases_.size(), chainLine_);
}

}  // namespace brindle
