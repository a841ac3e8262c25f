#include "words.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "string_utils.h"

namespace brindle {

void Words::reset(std::string_view line, std::size_t leadingTabs, bool blanksOnly) {
  line_ = line;
  leadingTabs_ = leadingTabs;
  blanksOnly_ = blanksOnly;
  next_ = blanksOnly ? leadingTabs : 0;
  cut_ = 0;
  firstWord_ = kNotTold;
}

FirstWord Words::tellFirstWord() {
  if (!firstMayStartWith(kFirstWordStarts)) return FirstWord::none;
  const std::string_view first = word(0);
  for (std::size_t k = 0; k < std::size(kFirstWords); ++k) {
    if (first == kFirstWords[k]) return static_cast<FirstWord>(k);
  }
  return FirstWord::none;
}

bool Words::firstMayStartWithSlowly(const std::array<bool, 256>& starts) const {
  if (cut_ > 0) return !words_[0].empty() && starts[static_cast<unsigned char>(words_[0][0])];
  // The first word is the first piece less its whitespace: its first byte,
  // if any, is the first byte that is not whitespace, unless a blank ends
  // the piece before it.
  for (std::size_t i = next_; i < line_.size(); ++i) {
    const char c = line_[i];
    if (!isSpaceByte(c)) return starts[static_cast<unsigned char>(c)];
    if (c == ' ') return false;
  }
  return false;
}

std::pair<std::size_t, std::size_t> Words::span(std::size_t n) {
  word(n);
  auto [begin, end] = pieces_[n];
  while (begin < end && isSpaceByte(line_[begin])) ++begin;
  while (end > begin && isSpaceByte(line_[end - 1])) --end;
  return {begin, end};
}

std::string_view Words::cutThrough(std::size_t n) {
  for (; cut_ <= n; ++cut_) {
    const std::size_t pieceBegin = std::min(next_, line_.size());
    if (next_ > line_.size()) {
      words_[cut_] = std::string_view();
    } else if (blanksOnly_) {
      // No whitespace to take out: a word runs to the next blank.
      const char* const begin = line_.data() + next_;
      const std::size_t left = line_.size() - next_;
      const void* const blank = std::memchr(begin, ' ', left);
      const std::size_t length =
          blank ? static_cast<std::size_t>(static_cast<const char*>(blank) - begin) : left;
      words_[cut_] = std::string_view(begin, length);
      next_ += length + 1;
    } else {
      words_[cut_] = nextPiece(line_, next_, ' ', joined_[cut_]);
    }
    pieces_[cut_] = {pieceBegin, next_ > line_.size() ? line_.size() : next_ - 1};
  }
  return words_[n];
}

}  // namespace brindle
