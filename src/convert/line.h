// The steps every line of a script takes before any statement rule: cutting
// the input into lines, the normalisation (four blanks to a tab, a blank
// behind "+=" and "-="), the words the rules test, and the scan that tells
// which lines hold nothing the normalisation or a common rewrite could
// change. Plain functions and small cursors over an input; a cursor belongs
// to one thread, and the input must outlive it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "byte_vectors.h"
#include "triggers.h"

namespace brindle {

// Hands out the lines of an input as views, in order, each with the set of
// scanned trigger texts (see triggers.h) it holds after its leading blanks,
// so that the steps a line cannot set off are skipped; a set may name a
// group the line lacks, never the reverse. An input has one more line than
// it has line feeds; a carriage return directly before a line feed belongs
// to the line end, any other one stays in its line. One scan, sixteen bytes
// at a time, finds both the line ends and the triggers.
class ScriptLines {
 public:
  explicit ScriptLines(std::string_view input) : input_(input) {}

  // The next line; false once every line has been handed out.
  bool next(std::string_view& line, TriggerSet& triggers);

 private:
  void scanWindow(std::size_t start);

  std::string_view input_;
  std::size_t next_ = 0;  // where the next line starts
  bool done_ = false;
  // The window scanned last, at an offset that is a multiple of its width:
  // which of its bytes are line feeds (bit k for byte start + k), and the
  // trigger sets of the texts that may start at each of them.
  std::size_t window_ = static_cast<std::size_t>(-1);
  unsigned lineFeeds_ = 0;
  LaneHalves lanes_ = {};
};

// The line of `input` that starts at offset `begin`, without its line end,
// for a caller that looks at a few lines only.
std::string_view lineAt(std::string_view input, std::size_t begin);

// Writes into `line` what the normalisation makes of `raw`: every run of four
// blanks becomes a tab, scanning left to right, and a blank goes behind every
// "+=" and "-=". `triggers` are those scanned in the line (kEveryTrigger when
// not known); without a blank run or an update only its leading blanks
// change. Returns the triggers of the normalised line: those scanned, and
// those a blank put behind "+=" may form (" (" before a parenthesis).
TriggerSet normaliseLine(std::string_view raw, TriggerSet triggers, std::string& line);

// The words of a normalised line: the pieces that cutting it at blanks gives,
// with every whitespace byte taken out. They are cut as they are asked for,
// so that a line whose rule needs only its first word costs no more. A word
// views the line (or a buffer of its own, for a word with whitespace inside
// it), so the line must stay as it is while the words are used.
class Words {
 public:
  // Starts on a new line, forgetting the words of the last one.
  void reset(std::string_view line);
  // The first, second and third word; empty where the line has fewer.
  std::string_view first() { return word(0); }
  std::string_view second() { return word(1); }
  std::string_view third() { return word(2); }

 private:
  std::string_view word(std::size_t n) { return n < cut_ ? words_[n] : cutThrough(n); }
  std::string_view cutThrough(std::size_t n);

  std::string_view line_;
  std::size_t next_ = 0;  // where the next word starts; past the end after the last
  std::size_t cut_ = 0;   // how many words are cut
  std::array<std::string_view, 3> words_;
  std::array<std::string, 3> joined_;  // words that had whitespace inside them
};

}  // namespace brindle
