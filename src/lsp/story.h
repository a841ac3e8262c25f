// A document as the language server keeps it, one version at a time: its
// text cut into pieces, one per label and one for the lines before the
// first, each with what the walk made of its lines (the names it gives and
// where, its statements' Lua, its warnings). A piece is made once and then
// only read; the versions that hold it share it, and what the check found
// in it, once found, is kept with it. An edit makes a new version that
// walks again only the pieces the edit touches; the facts of the whole
// story (where each label is defined and jumped to, the variables, the
// warnings of the whole script) are made from the pieces', and shared with
// the version before where the edit changed no name. Lines are the
// script's (from 1, ended by a line feed), columns bytes of them; positions
// are the editor's (positions.h). A Story is made by one thread and then
// only read, from any.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "line_map.h"
#include "names.h"
#include "positions.h"
#include "records.h"
#include "text_buffer.h"

namespace brindle::lsp {

// Bytes [begin, end) of a script line.
struct Place {
  std::size_t line = 0;  // from 1
  std::size_t begin = 0;
  std::size_t end = 0;
};

// A name a line gives, at a line of its piece (from 1); its bytes in the
// piece's arena.
struct NameUse {
  std::uint32_t line = 0;
  std::uint32_t begin = 0;  // where the line spells it
  std::uint32_t end = 0;
  std::uint32_t nameAt = 0;
  std::uint32_t nameSize = 0;
};

// A statement of a piece whose Lua is not its line as the line stands
// behind its tabs (the Lua of every other statement): `tabs` tabs, then its
// text, which is the piece's own bytes where the rules only took bytes off
// the line's ends, else a copy in the piece's arena.
struct PieceStatement {
  std::uint32_t line = 0;  // of the piece, from 1
  std::uint32_t at = 0;
  std::uint32_t size = 0;
  std::uint16_t tabs = 0;
  ChainFlag chainFlag : 8 = ChainFlag::plainStatement;
  bool inArena = false;
};

struct PieceCheck;

// One label's lines, from its `label` statement to the next label, or the
// lines before the first label.
struct Piece {
  std::shared_ptr<const std::string> chunk;  // the text `text` views
  std::string_view text;                     // its lines, their line ends included
  // Where its script begins and ends in `text`: the first piece's begins
  // after a byte-order mark, the last one's ends before Ctrl-Z bytes at the
  // document's end.
  std::size_t scriptBegin = 0;
  std::size_t scriptEnd = 0;
  std::size_t lines = 0;  // script lines: its line feeds, and one more for the last piece
  LineIndex index;        // of `text`
  bool isLabel = false;   // else the lines before the first label
  bool renameable = false;  // the line spells the label's name whole, as the word before its colon
  NameUse label;            // the block it opens
  std::vector<NameUse> jumps;
  std::vector<NameUse> variables;  // every `$` line's
  std::vector<PieceStatement> statements;  // those whose Lua is not their line, in order
  std::size_t entries = 0;                 // of a label's table, as the writer makes them
  std::vector<Warning> warnings;  // the lines' own, in order, at lines of the piece
  std::size_t beforeLabels = 0;   // statements before the first label, and the line of the first
  std::size_t firstBeforeLabels = 0;
  std::string arena;
  // What the check found in its table, once a version holding it was
  // checked (story_check.h).
  mutable std::atomic<std::shared_ptr<const PieceCheck>> check;

  Piece() : index({}) {}
  std::string_view nameOf(const NameUse& use) const { return std::string_view(arena).substr(use.nameAt, use.nameSize); }
  std::string_view labelName() const { return nameOf(label); }
  // Line `line` of the piece (from 1) without its line end, as the script
  // has it.
  std::string_view scriptLine(std::size_t line) const;
  LuaStatement luaOf(const PieceStatement& statement) const;
  // Every statement of a label's piece, in order, with its line (of the
  // piece): `visit(const LuaStatement&, std::size_t line)`.
  template <typename Visit>
  void forEachStatement(Visit&& visit) const;
};

// The Lua of a statement whose line stands as its Lua behind its tabs.
LuaStatement lineAsLua(std::string_view line);

template <typename Visit>
void Piece::forEachStatement(Visit&& visit) const {
  std::size_t next = 0;  // the next of `statements`
  for (std::size_t line = 2; line <= lines; ++line) {
    if (next < statements.size() && statements[next].line == line) {
      visit(luaOf(statements[next++]), line);
      continue;
    }
    const std::string_view text = scriptLine(line);
    if (!text.empty()) visit(lineAsLua(text), line);
  }
}

// Where a name is defined or used: the piece and the use in it.
struct Located {
  std::uint32_t piece = 0;
  std::uint32_t use = 0;
};

// Where the story's labels are defined and jumped to, by name, and its label
// problems, as pieces and uses in them, so that it holds for every version
// whose pieces give the same names in the same order.
struct LabelIndex {
  NameTable names;  // every label and jump target, once
  // By name, each name's run in the array after it: the pieces that define
  // it, the jumps to it, in order.
  std::vector<std::uint32_t> definitionsAt;
  std::vector<std::uint32_t> definitions;
  std::vector<std::uint32_t> jumpsAt;
  std::vector<Located> jumps;
  std::vector<Located> undefined;  // jumps to names no piece defines, in order
  std::vector<std::pair<std::uint32_t, std::uint32_t>> redefinitions;  // a piece and the one it replaces

  std::span<const std::uint32_t> definitionsOf(std::size_t name) const {
    return std::span(definitions).subspan(definitionsAt[name], definitionsAt[name + 1] - definitionsAt[name]);
  }
  std::span<const Located> jumpsTo(std::size_t name) const {
    return std::span(jumps).subspan(jumpsAt[name], jumpsAt[name + 1] - jumpsAt[name]);
  }
};

struct Story {
  std::vector<std::shared_ptr<const Piece>> pieces;
  std::vector<std::size_t> firstLine;    // of each piece, from 1
  std::vector<std::size_t> firstOffset;  // of each piece in the document
  std::vector<std::size_t> firstEditorLine;
  std::size_t size = 0;  // the document's bytes
  std::shared_ptr<const LabelIndex> labels;
  std::shared_ptr<const NameTable> variables;  // in first-seen order
  std::vector<Warning> warnings;  // all of the script's, as brindle-check has them

  // The piece that holds script line `line`, or byte `offset` of the
  // document.
  std::size_t pieceOfLine(std::size_t line) const;
  std::size_t pieceOfOffset(std::size_t offset) const;
  // Script line `line` without its line end.
  std::string_view scriptLine(std::size_t line) const;
  std::size_t scriptLines() const { return firstLine.back() + pieces.back()->lines - 1; }
  // The script line and byte of the document's byte `offset`.
  Place placeOf(std::size_t offset) const;
  // A name use of piece `piece` as a place of the whole script.
  Place placeOf(std::size_t piece, const NameUse& use) const;
  // The editor's position of byte `column` of script line `line`.
  Position positionOf(std::size_t line, std::size_t column) const;
  // The document's byte at the editor's `position`.
  std::size_t offsetOf(const Position& position) const;
  // The line where variable `index` (of `variables`) is first set, and
  // where that line spells it; found by looking at the pieces in order.
  Place firstSet(std::size_t index) const;
  // The whole text of the document.
  std::string text() const;
};

// The first version of a document, from its whole text. Throws
// std::length_error for a text of 4 GiB or more, which is not read.
std::shared_ptr<const Story> openStory(std::string text);

// A change of an editor's: the text in `range` (the whole text, where there
// is none) gives way to `text`.
struct Change {
  std::optional<Range> range;
  std::string text;
};

// The version `story` becomes with `changes`, made one after another; each
// change's range is one of the text the changes before it made. Throws
// std::length_error where the text would reach 4 GiB.
std::shared_ptr<const Story> editStory(const Story& story, std::vector<Change> changes);

// The Lua table of the label of piece `piece`, as the writer writes it in
// the flat layout, with the map of its lines at lines of the piece (its
// first line, before the table's, holds nothing). Returns its entries.
std::size_t writeTable(const Piece& piece, TextBuffer& out, LineMap& lines);

}  // namespace brindle::lsp
