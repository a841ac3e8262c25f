// The steps every line of a script takes before any statement rule: cutting
// the input into lines with the scan that tells what each holds, the
// normalisation (four blanks to a tab, a blank behind "+=" and "-="), and
// the words the rules test. Plain functions and small cursors over a text;
// a cursor belongs to one thread, and the text must outlive it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "byte_vectors.h"
#include "triggers.h"

namespace brindle {

// A line of an input, without its line end, and what the scan tells of it.
struct ScannedLine {
  std::string_view text;
  // The groups of scanned trigger texts (see triggers.h) the line may hold
  // after its leading blanks: never one less than it holds.
  TriggerSet triggers = 0;
  // Whether the line holds no whitespace but blanks.
  bool blanksOnly = false;
};

// Hands out the lines of an input, in order. An input has one more line
// than it has line feeds; a carriage return directly before a line feed
// belongs to the line end, any other one stays in its line. One scan,
// sixteen bytes at a time, finds the line ends and what the lines hold, so
// that the steps a line cannot set off are skipped.
class ScriptLines {
 public:
  explicit ScriptLines(std::string_view input) : input_(input) {}

  // The next line; false once every line has been handed out.
  bool next(ScannedLine& line);

 private:
  void scanBlock(std::size_t start);

  std::string_view input_;
  std::size_t next_ = 0;  // where the next line starts
  bool done_ = false;
  // The block of input scanned last, at an offset that is a multiple of its
  // width: for each of its bytes (bit k for byte start + k), whether it is a
  // line feed, whitespace other than a blank, and where a text of each
  // trigger group may begin.
  std::size_t block_ = static_cast<std::size_t>(-1);
  std::uint64_t lineFeeds_ = 0;
  std::uint64_t otherSpaces_ = 0;
  std::uint64_t starts_[kTriggerGroups] = {};  // bit k of starts_[g]: a text of group 1 << g may start at k
  std::uint64_t anyStart_ = 0;
};

// The line of `input` that starts at offset `begin`, without its line end,
// for a caller that looks at a few lines only.
std::string_view lineAt(std::string_view input, std::size_t begin);

// What the normalisation tells of the line it wrote: the triggers of the
// normalised line, those scanned and those a blank put behind "+=" may form
// (" (" before a parenthesis), and how many tabs it begins with.
struct Normalised {
  TriggerSet triggers = 0;
  std::size_t leadingTabs = 0;
};

// Writes into `line` what the normalisation makes of `raw`: every run of four
// blanks becomes a tab, scanning left to right, and a blank goes behind every
// "+=" and "-=". `triggers` are those scanned in the line (kEveryTrigger when
// not known); without a blank run or an update only its leading blanks
// change.
Normalised normaliseLine(std::string_view raw, TriggerSet triggers, std::string& line);

// The words of a normalised line: the pieces that cutting it at blanks gives,
// with every whitespace byte taken out. They are cut as they are asked for,
// so that a line whose rule needs only its first word costs no more. A word
// views the line (or a buffer of its own, for a word with whitespace inside
// it), so the line must stay as it is while the words are used.
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
  // Whether the first word may start with a byte `starts` holds; false when
  // it is sure not to. Cheaper than the word itself, which it does not cut.
  bool firstMayStartWith(const std::array<bool, 256>& starts) const {
    if (cut_ == 0 && blanksOnly_) {
      return next_ < line_.size() && line_[next_] != ' ' &&
             starts[static_cast<unsigned char>(line_[next_])];
    }
    return firstMayStartWithSlowly(starts);
  }
  // How many tabs the line holds, where reset() was told enough to know:
  // a line that holds no whitespace but blanks after its leading tabs.
  std::optional<std::size_t> tabCount() const {
    return blanksOnly_ ? std::optional<std::size_t>(leadingTabs_) : std::nullopt;
  }

 private:
  std::string_view word(std::size_t n) { return n < cut_ ? words_[n] : cutThrough(n); }
  std::string_view cutThrough(std::size_t n);
  bool firstMayStartWithSlowly(const std::array<bool, 256>& starts) const;

  std::string_view line_;
  std::size_t leadingTabs_ = 0;
  bool blanksOnly_ = false;
  std::size_t next_ = 0;  // where the next word starts; past the end after the last
  std::size_t cut_ = 0;   // how many words are cut
  std::array<std::string_view, 3> words_;
  std::array<std::string, 3> joined_;  // words that had whitespace inside them
};

}  // namespace brindle
