#include "story.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <stdexcept>

#include "convert.h"
#include "decode.h"
#include "text_changes.h"
#include "utf16.h"
#include "variables.h"
#include "walk.h"
#include "writer.h"

namespace brindle::lsp {
namespace {

using PiecePtr = std::shared_ptr<const Piece>;

// Appends `bytes` to the piece's arena; where it stands there.
std::pair<std::uint32_t, std::uint32_t> keep(Piece& piece, std::string_view bytes) {
  const auto at = static_cast<std::uint32_t>(piece.arena.size());
  piece.arena.append(bytes);
  return {at, static_cast<std::uint32_t>(bytes.size())};
}

NameUse useOf(Piece& piece, const Statement& statement, std::size_t line) {
  const auto [at, size] = keep(piece, statement.name);
  return {static_cast<std::uint32_t>(line), static_cast<std::uint32_t>(statement.nameBegin),
          static_cast<std::uint32_t>(statement.nameEnd), at, size};
}

// Walks `region`, a run of whole lines of the document in `chunk` that
// begins where a piece begins (at a `label` statement, or at the document's
// start when `atStart`) and ends where one ends (before a `label` statement,
// or at the document's end when `atEnd`), into the pieces it holds.
std::vector<PiecePtr> walkPieces(const std::shared_ptr<const std::string>& chunk, std::string_view region,
                                 bool atStart, bool atEnd) {
  std::string_view script = region;
  if (atStart || atEnd) {
    // The byte-order mark and the Ctrl-Z bytes of the document's ends are
    // no part of its script.
    const std::string_view inner = scriptOfEditorText(region);
    const std::size_t begin = atStart ? static_cast<std::size_t>(inner.data() - region.data()) : 0;
    const std::size_t end = atEnd ? begin + inner.size() : region.size();
    script = region.substr(begin, end - begin);
  }
  const std::size_t scriptBegin = static_cast<std::size_t>(script.data() - region.data());
  std::vector<std::shared_ptr<Piece>> pieces;
  std::vector<std::size_t> starts;      // where each begins in `region`
  std::vector<std::size_t> firstLines;  // and its first line, of `script`
  const auto begin = [&](std::size_t offset, std::size_t line) {
    pieces.push_back(std::make_shared<Piece>());
    starts.push_back(offset);
    firstLines.push_back(line);
  };
  begin(0, 1);
  WalkOptions options;
  options.places = true;
  options.describeTextChanges = true;
  const WalkEnd end = walkScript(
      script,
      [&](const Statement& statement) {
        if (statement.kind == LineKind::label && (statement.line > 1 || !pieces.back()->statements.empty())) {
          begin(static_cast<std::size_t>(statement.source.data() - region.data()), statement.line);
        }
        Piece& piece = *pieces.back();
        const std::size_t line = statement.line - firstLines.back() + 1;
        if (!statement.warning.empty()) piece.warnings.push_back({line, std::string(statement.warning)});
        if (statement.kind == LineKind::label) {
          piece.isLabel = true;
          piece.label = useOf(piece, statement, line);
          const std::string_view name = statement.name;
          const std::string_view spelled =
              statement.source.substr(statement.nameBegin, statement.nameEnd - statement.nameBegin);
          piece.renameable = !name.empty() && (spelled == name || (spelled.size() == name.size() + 1 &&
                                                                  spelled.starts_with(name) && spelled.back() == ':'));
          if (piece.renameable) piece.label.end = piece.label.begin + static_cast<std::uint32_t>(name.size());
          return;
        }
        if (statement.nameKind == NameKind::variable) piece.variables.push_back(useOf(piece, statement, line));
        if (statement.kind == LineKind::beforeLabels) return;
        if (statement.nameKind == NameKind::jumpTarget) piece.jumps.push_back(useOf(piece, statement, line));
        if (statement.textChange) {
          piece.warnings.push_back({line, describeTextChange(*statement.textChange), WarningKind::textChange});
        }
        const LuaStatement& lua = statement.lua;
        PieceStatement kept{static_cast<std::uint32_t>(line), 0, static_cast<std::uint32_t>(lua.text.size()),
                            static_cast<std::uint32_t>(lua.indent), static_cast<std::uint32_t>(lua.tabs),
                            lua.chainFlag, false};
        const bool ownBytes = lua.text.data() >= region.data() &&
                              lua.text.data() + lua.text.size() <= region.data() + region.size();
        if (ownBytes) {
          kept.at = static_cast<std::uint32_t>(lua.text.data() - region.data() - starts.back());
        } else {
          kept.at = keep(piece, lua.text).first;
          kept.inArena = true;
        }
        piece.statements.push_back(kept);
      },
      options);
  if (!pieces.front()->isLabel) {
    pieces.front()->beforeLabels = end.beforeLabels;
    pieces.front()->firstBeforeLabels = end.firstBeforeLabels;
  }
  std::vector<PiecePtr> made;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    Piece& piece = *pieces[k];
    const std::size_t from = starts[k];
    const std::size_t to = k + 1 < pieces.size() ? starts[k + 1] : region.size();
    piece.chunk = chunk;
    piece.text = region.substr(from, to - from);
    piece.index = LineIndex(piece.text);
    piece.scriptBegin = k == 0 ? scriptBegin : 0;
    piece.scriptEnd = k + 1 < pieces.size() ? piece.text.size()
                                            : static_cast<std::size_t>(script.data() + script.size() - region.data()) - from;
    const bool last = atEnd && k + 1 == pieces.size();
    piece.lines = piece.index.scriptLineCount() - (last ? 0 : 1);
    piece.arena.shrink_to_fit();
    made.push_back(std::move(pieces[k]));
  }
  return made;
}

// The prefix sums by which lines and bytes find their piece.
void locatePieces(Story& story) {
  const std::size_t count = story.pieces.size();
  story.firstLine.resize(count);
  story.firstOffset.resize(count);
  story.firstEditorLine.resize(count);
  std::size_t line = 1;
  std::size_t offset = 0;
  std::size_t editorLine = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const Piece& piece = *story.pieces[k];
    story.firstLine[k] = line;
    story.firstOffset[k] = offset;
    story.firstEditorLine[k] = editorLine;
    line += piece.lines;
    offset += piece.text.size();
    // The editor's lines end where the script's do, and at lone carriage
    // returns too; the last piece's last line ends nowhere.
    editorLine += piece.index.lineCount() - (k + 1 < count ? 1 : 0);
  }
  story.size = offset;
}

// What the story says as a whole: where each name stands, its variables,
// its warnings.
void mergeFacts(Story& story) {
  story.labels.clear();
  story.jumps.clear();
  story.variables = NameTable();
  story.variableLines.clear();
  story.labelReferences = LabelReferences(std::numeric_limits<std::size_t>::max());
  story.warnings.clear();
  std::vector<Warning>& warnings = story.warnings;
  const Piece& first = *story.pieces.front();
  if (first.beforeLabels > 0) {
    warnings.push_back(*beforeLabelsWarning({0, first.beforeLabels, first.firstBeforeLabels}));
  }
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const Piece& piece = *story.pieces[k];
    const std::size_t before = story.firstLine[k] - 1;
    const auto index = static_cast<std::uint32_t>(k);
    if (piece.isLabel) {
      const std::string_view name = piece.nameOf(piece.label);
      story.labels[name].push_back(index);
      addLabel(story.labelReferences, name, before + piece.label.line);
    }
    // In line order: a piece's jumps and variables each are, and a label's
    // own line comes first.
    for (std::size_t j = 0; j < piece.jumps.size(); ++j) {
      const std::string_view name = piece.nameOf(piece.jumps[j]);
      story.jumps[name].push_back({index, static_cast<std::uint32_t>(j)});
      addJump(story.labelReferences, name, before + piece.jumps[j].line);
    }
    for (const NameUse& set : piece.variables) {
      const std::size_t known = nameCount(story.variables);
      addVariable(story.variables, piece.nameOf(set));
      if (nameCount(story.variables) != known) story.variableLines.push_back(before + set.line);
    }
    for (const Warning& warning : piece.warnings) {
      warnings.push_back({before + warning.line, warning.message, warning.kind});
    }
  }
  // Whether the script looks like UTF-16 shows in its first line of
  // 16-bit units. The first piece holds it, unless the look runs to the
  // piece's end: the next piece's `label` line, whose first two bytes make
  // a unit of no Latin letter, then decides.
  const std::string_view script = first.text.substr(first.scriptBegin, first.scriptEnd - first.scriptBegin);
  WholeFile file;
  file.looksLikeUtf16 = looksLikeUtf16(script);
  if (file.looksLikeUtf16 && story.pieces.size() > 1) {
    const Piece& next = *story.pieces[1];
    file.looksLikeUtf16 = looksLikeUtf16(std::string(script).append(next.text.substr(0, std::min<std::size_t>(2, next.scriptEnd))));
  }
  file.onlyCarriageReturns = story.pieces.size() == 1 && first.lines == 1 &&
                             script.find('\r') != std::string_view::npos;
  finishWarnings(file, story.labelReferences, warnings);
}

std::size_t countBefore(const std::vector<std::size_t>& starts, std::size_t at) {
  const auto after = std::upper_bound(starts.begin(), starts.end(), at);
  return static_cast<std::size_t>(after - starts.begin()) - 1;
}

}  // namespace

std::string_view Piece::scriptLine(std::size_t line) const {
  if (line == 0 || line > lines) return {};
  const std::size_t begin = std::max(index.scriptLineStart(line - 1), scriptBegin);
  if (line < index.scriptLineCount()) return lineBefore(text, begin, index.scriptLineStart(line) - 1);
  // The document's last line, before its Ctrl-Z bytes.
  return text.substr(begin, std::max(scriptEnd, begin) - begin);
}

LuaStatement Piece::luaOf(const PieceStatement& statement) const {
  const std::string_view bytes = statement.inArena ? std::string_view(arena) : text;
  return {bytes.substr(statement.at, statement.size), statement.tabs, statement.indent, statement.chainFlag};
}

std::size_t Story::pieceOfLine(std::size_t line) const { return countBefore(firstLine, std::max<std::size_t>(line, 1)); }

std::size_t Story::pieceOfOffset(std::size_t offset) const { return countBefore(firstOffset, offset); }

std::string_view Story::scriptLine(std::size_t line) const {
  const std::size_t k = pieceOfLine(line);
  return pieces[k]->scriptLine(line - firstLine[k] + 1);
}

Place Story::placeOf(std::size_t offset) const {
  offset = std::min(offset, size);
  const std::size_t k = pieceOfOffset(offset);
  const Piece& piece = *pieces[k];
  const std::size_t within = std::clamp(offset - firstOffset[k], piece.scriptBegin, piece.scriptEnd);
  const std::size_t line = std::min(piece.index.scriptLineOf(within) + 1, piece.lines);
  const std::size_t lineStart = std::max(piece.index.scriptLineStart(line - 1), piece.scriptBegin);
  const std::size_t column = std::min(within - lineStart, piece.scriptLine(line).size());
  return {firstLine[k] + line - 1, column, column};
}

Position Story::positionOf(std::size_t line, std::size_t column) const {
  if (line == 0 || line > scriptLines()) {
    const Piece& piece = *pieces.back();
    const Position end = piece.index.positionOf(piece.text.size());
    return {firstEditorLine.back() + end.line, end.character};
  }
  const std::size_t k = pieceOfLine(line);
  const Piece& piece = *pieces[k];
  const std::size_t within = line - firstLine[k] + 1;
  const std::size_t lineStart = std::max(piece.index.scriptLineStart(within - 1), piece.scriptBegin);
  const Position at = piece.index.positionOf(lineStart + std::min(column, piece.scriptLine(within).size()));
  return {firstEditorLine[k] + at.line, at.character};
}

std::size_t Story::offsetOf(const Position& position) const {
  // A piece's last line is the next one's first, but for the last piece,
  // past whose lines is the end.
  const std::size_t k = countBefore(firstEditorLine, position.line);
  return firstOffset[k] + pieces[k]->index.offsetOf({position.line - firstEditorLine[k], position.character});
}

Place Story::placeOf(std::size_t piece, const NameUse& use) const {
  return {firstLine[piece] + use.line - 1, use.begin, use.end};
}

std::string_view Story::nameOf(const Located& located, bool label) const {
  const Piece& piece = *pieces[located.piece];
  return piece.nameOf(label ? piece.label : piece.jumps[located.use]);
}

std::string Story::text() const {
  std::string text;
  text.reserve(size);
  for (const PiecePtr& piece : pieces) text.append(piece->text);
  return text;
}

namespace {

constexpr std::size_t kMostBytes = std::numeric_limits<std::uint32_t>::max();

void refuseTooLong(std::size_t size) {
  if (size >= kMostBytes) throw std::length_error("a story of 4 GiB or more is not read");
}

}  // namespace

std::shared_ptr<const Story> openStory(std::string text) {
  refuseTooLong(text.size());
  auto story = std::make_shared<Story>();
  const auto chunk = std::make_shared<const std::string>(std::move(text));
  story->pieces = walkPieces(chunk, *chunk, true, true);
  locatePieces(*story);
  mergeFacts(*story);
  return story;
}

std::shared_ptr<const Story> editStory(const Story& story, std::vector<Change> changes) {
  // A change of the whole text makes a new story of the changes from the
  // last such one on.
  std::size_t whole = changes.size();
  while (whole > 0 && changes[whole - 1].range) --whole;
  if (whole > 0) {
    std::shared_ptr<const Story> opened = openStory(std::move(changes[whole - 1].text));
    changes.erase(changes.begin(), changes.begin() + static_cast<std::ptrdiff_t>(whole));
    return changes.empty() ? opened : editStory(*opened, std::move(changes));
  }
  auto edited = std::make_shared<Story>();
  edited->pieces = story.pieces;
  edited->firstLine = story.firstLine;
  edited->firstOffset = story.firstOffset;
  edited->firstEditorLine = story.firstEditorLine;
  edited->size = story.size;
  std::vector<PiecePtr>& pieces = edited->pieces;
  for (const Change& change : changes) {
    const std::size_t from = edited->offsetOf(change.range->start);
    const std::size_t to = std::max(from, edited->offsetOf(change.range->end));
    refuseTooLong(edited->size - (to - from) + change.text.size());
    // The pieces the edit touches are walked again, from the start of the
    // first: and from the piece before, where the first no longer begins
    // with a `label` statement, whose lines then join that piece.
    std::size_t first = edited->pieceOfOffset(from);
    const std::size_t last = edited->pieceOfOffset(to);
    for (;;) {
      std::string region;
      for (std::size_t k = first; k <= last; ++k) region.append(pieces[k]->text);
      const std::size_t regionStart = edited->firstOffset[first];
      region.replace(from - regionStart, to - from, change.text);
      const auto chunk = std::make_shared<const std::string>(std::move(region));
      std::vector<PiecePtr> made = walkPieces(chunk, *chunk, first == 0, last + 1 == pieces.size());
      if (first > 0 && !made.front()->isLabel) {
        --first;
        continue;
      }
      pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(first),
                   pieces.begin() + static_cast<std::ptrdiff_t>(last) + 1);
      pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(first), made.begin(), made.end());
      break;
    }
    locatePieces(*edited);
  }
  mergeFacts(*edited);
  return edited;
}

std::size_t writeTable(const Piece& piece, TextBuffer& out, LineMap& lines) {
  std::string console;
  TableWriter tables(console, std::numeric_limits<std::size_t>::max(), &lines);
  beginLine(&lines, 0, LuaLineRole::header);
  tables.open(piece.nameOf(piece.label), piece.label.line);
  for (const PieceStatement& statement : piece.statements) tables.add(piece.luaOf(statement), statement.line);
  tables.close();
  out.append(tables.text());
  return tables.marks().tables.empty() ? 0 : tables.marks().tables.back().entries;
}

}  // namespace brindle::lsp
