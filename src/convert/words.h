// The words of a normalised line, as the statement rules test them: the
// pieces that cutting the line at blanks gives, with every whitespace byte
// taken out. A Words belongs to one thread; it views the line, which must
// stay as it is while the words are used.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "triggers.h"

namespace brindle {

// The words are cut as they are asked for, so that a line whose rule needs
// only its first word costs no more. A word views the line (or a buffer of
// its own, for a word with whitespace inside it).
class Words {
 public:
  // Starts on a new line, forgetting the words of the last one. A caller
  // that knows how many tabs the line begins with, and that after them it
  // holds no whitespace but blanks, says so: its words are then the runs
  // between blanks, found with memchr.
  void reset(std::string_view line, std::size_t leadingTabs = 0, bool blanksOnly = false);
  // The first, second and third word; empty where the line has fewer.
  std::string_view first() { return word(0); }
  std::string_view second() { return word(1); }
  std::string_view third() { return word(2); }
  // Which of the words that choose a rule the first word is, if any; told
  // once per line.
  FirstWord firstWord() {
    if (firstWord_ == kNotTold) firstWord_ = tellFirstWord();
    return firstWord_;
  }
  // Whether the first word may start with a byte `starts` holds; false when
  // it is sure not to. Cheaper than the word itself, which it does not cut.
  bool firstMayStartWith(const std::array<bool, 256>& starts) const {
    if (cut_ == 0 && blanksOnly_) {
      return next_ < line_.size() && line_[next_] != ' ' &&
             starts[static_cast<unsigned char>(line_[next_])];
    }
    return firstMayStartWithSlowly(starts);
  }
  // Where word `n` (0 to 2) stands in the line: bytes [first, second), from
  // its first byte to its last, whitespace inside it included; an empty
  // range where the word is empty.
  std::pair<std::size_t, std::size_t> span(std::size_t n);
  // How many tabs the line holds, where reset() was told enough to know:
  // a line that holds no whitespace but blanks after its leading tabs.
  std::optional<std::size_t> tabCount() const {
    return blanksOnly_ ? std::optional<std::size_t>(leadingTabs_) : std::nullopt;
  }

 private:
  static constexpr FirstWord kNotTold = static_cast<FirstWord>(0xFF);
  std::string_view word(std::size_t n) { return n < cut_ ? words_[n] : cutThrough(n); }
  FirstWord tellFirstWord();
  std::string_view cutThrough(std::size_t n);
  bool firstMayStartWithSlowly(const std::array<bool, 256>& starts) const;

  std::string_view line_;
  std::size_t leadingTabs_ = 0;
  bool blanksOnly_ = false;
  std::size_t next_ = 0;  // where the next word starts; past the end after the last
  std::size_t cut_ = 0;   // how many words are cut
  FirstWord firstWord_ = kNotTold;
  std::array<std::string_view, 3> words_;
  std::array<std::pair<std::size_t, std::size_t>, 3> pieces_;  // where each piece cut stands
  std::array<std::string, 3> joined_;  // words that had whitespace inside them
};

}  // namespace brindle
