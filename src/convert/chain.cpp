#include "chain.h"

#include "output_texts.h"

namespace brindle {

void ChainAssembler::append(const LuaStatement& entry) {
  out_.push_back('\n');
  if (entry.tabs > 0) out_.append(entry.tabs, '\t');
  out_.append(entry.text);
}

void ChainAssembler::open(const LuaStatement& entry, std::size_t line) {
  openBases_.push_back(entry.indent);
  append(entry);
  out_.push_back('\n');
  if (lines_) chainLine_ = nextLine(*lines_);
  beginLine(lines_, line, LuaLineRole::chainOpen, openBases_.size(), chainLine_);
  beginLine(lines_, line, LuaLineRole::chainBody, openBases_.size(), chainLine_);
}

bool ChainAssembler::add(const LuaStatement& entry, std::size_t line) {
  while (isOpen()) {
    const std::size_t base = openBases_.back();
    if (entry.indent > base && entry.chainFlag == ChainFlag::opensChain) {
      open(entry, line);
      return true;
    }
    if (entry.indent > base ||
        (entry.indent == base && entry.chainFlag == ChainFlag::continuesChain)) {
      append(entry);
      const bool goesOn = entry.chainFlag == ChainFlag::continuesChain;
      if (goesOn && lines_) chainLine_ = nextLine(*lines_);
      beginLine(lines_, line, goesOn ? LuaLineRole::chainGoesOn : LuaLineRole::chainBody,
                openBases_.size(), chainLine_);
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
  out_.push_back('\n');
  out_.append(openBases_.back(), '\t');
  out_.append(kChainEnd);
  openBases_.pop_back();
  beginClosingLine(lines_, LuaLineRole::chainEnd, openBases_.size(), chainLine_);
}

}  // namespace brindle
