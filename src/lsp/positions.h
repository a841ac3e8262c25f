// Positions in a text as the Language Server Protocol counts them: a line
// (from 0; a line ends at a line feed, a carriage return and a line feed, or
// a carriage return alone) and a character within it, counted in UTF-16
// code units, as the protocol does by default. Bytes that are not UTF-8
// count one unit each, as editors show each as a replacement character. A
// LineIndex also knows the text's script lines, which line feeds alone end
// (scan.h). It belongs to one text of less than 4 GiB, which must stay as it
// is while the index is used; any thread may read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace brindle::lsp {

struct Position {
  std::size_t line = 0;
  std::size_t character = 0;
};

struct Range {
  Position start;
  Position end;
};

// How many UTF-16 units `bytes` hold.
std::size_t utf16Units(std::string_view bytes);

// The byte of `line` at `units` UTF-16 units from its start; its length
// when it has fewer. A unit inside a character gives that character's byte.
std::size_t byteAtUnits(std::string_view line, std::size_t units);

class LineIndex {
 public:
  explicit LineIndex(std::string_view text);

  std::string_view text() const { return text_; }
  // The editor's lines: how many, and line `line` without its line end
  // (empty past the last).
  std::size_t lineCount() const { return starts_.size(); }
  std::string_view line(std::size_t line) const;
  // The position of byte `offset` of the text.
  Position positionOf(std::size_t offset) const;
  // The byte of the text at `position`; the end of its line when the
  // character is past it, the text's end when the line is.
  std::size_t offsetOf(const Position& position) const;

  // The script's lines: how many, where line `line` (from 0) begins, and
  // the line that holds byte `offset`.
  std::size_t scriptLineCount() const { return scriptStarts().size(); }
  std::size_t scriptLineStart(std::size_t line) const { return scriptStarts()[line]; }
  std::size_t scriptLineOf(std::size_t offset) const;

 private:
  const std::vector<std::uint32_t>& scriptStarts() const { return loneReturns_ ? scriptStarts_ : starts_; }

  std::string_view text_;
  std::vector<std::uint32_t> starts_;  // where each of the editor's lines begins
  bool loneReturns_ = false;            // some carriage return ends an editor's line alone
  std::vector<std::uint32_t> scriptStarts_;  // where each script line begins, where they differ
};

}  // namespace brindle::lsp
