// The driver's treatment of one raw script line before any statement rule:
// normalisation (four blanks to a tab, a blank after "+=" and "-=") and the
// words the rules test. Each is one scan of the line, with results equal to
// the replaceAll and splitOn steps they stand for; the words are views, so a
// line costs no allocation once the buffers have grown.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/records.h"

namespace brindle {

// Writes into `line` what replaceAll from "    " to "\t", then from "+=" to
// "+= " and from "-=" to "-= " make of `raw`. Returns false, leaving `line`
// empty, when `raw` is empty: such a line is dropped.
bool normaliseLine(std::string_view raw, std::string& line);

// Finds the lines of an input that need no more than their leading blanks
// turned into tabs: no blank run after the first byte that is not a blank, no
// "+=" or "-=", nothing the common rewrites of the statement rules could
// change (no "$", "cal", " (", "Tru" or "Fal"), and no "pat", so no
// "path_end" for the final pass to find. Most lines of a script are such
// plain lines; finding them with one vectorisable scan of the whole input is
// much cheaper than testing line by line.
class PlainLineFinder {
 public:
  explicit PlainLineFinder(std::string_view input) : input_(input) {}

  // Whether `line`, a line of the input (a view into it, without its line
  // end), is plain. Lines must be asked about in input order.
  bool isPlain(std::string_view line);

 private:
  std::size_t nextCandidate(std::size_t from) const;

  std::string_view input_;
  std::size_t candidate_ = 0;  // the next candidate position found so far
  bool found_ = false;
};

// What normaliseLine makes of a plain line, done faster.
void normalisePlainLine(std::string_view raw, std::string& line);

// The first three words that splitOn(line, pieces, ' ') would make, with
// every whitespace byte removed, and how many words there are, counting at
// most three. A missing word is empty. Words view the line they were made
// from (or, for a word with whitespace inside it, a buffer of their own), so
// the line must stay unchanged while they are used.
struct Words {
  std::array<std::string_view, 3> word;
  std::size_t count = 0;
  std::array<std::string, 3> joined;  // words that had whitespace inside them

  std::string_view first() const { return word[0]; }
  std::string_view second() const { return word[1]; }
  std::string_view third() const { return word[2]; }
};

void splitWords(std::string_view line, Words& words);

// The same view of a list of words that splitOn made.
void wordsOf(const std::vector<std::string>& tokens, Words& words);

}  // namespace brindle
