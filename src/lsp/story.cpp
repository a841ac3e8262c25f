#include "story.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <stdexcept>

#include "chain.h"
#include "convert.h"
#include "decode.h"
#include "normalise.h"
#include "text_changes.h"
#include "triggers.h"
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

// The statement's Lua as the piece keeps it: nothing where it is the line
// behind its tabs; a view of the line where the rules only took bytes off
// its ends (the erased "$" of a `$` line, the colon of an else:); else a
// copy in the piece's arena.
void keepStatement(Piece& piece, const Statement& statement, std::size_t line, std::string_view pieceText) {
  const LuaStatement& lua = statement.lua;
  const LuaStatement asLine = lineAsLua(statement.source);
  // The Lua's tabs may be counted apart or lead its text.
  const std::size_t leadingTabs = lua.tabs + std::min(lua.text.find_first_not_of('\t'), lua.text.size());
  const std::string_view rest = lua.text.substr(leadingTabs - lua.tabs);
  if (lua.chainFlag == ChainFlag::plainStatement && leadingTabs == asLine.tabs && rest == asLine.text) return;
  const auto within = [&](std::string_view bytes) {
    return bytes.data() >= pieceText.data() && bytes.data() + bytes.size() <= pieceText.data() + pieceText.size();
  };
  const std::string_view source = statement.source.substr(leadingBlanks(statement.source));
  std::string_view viewed = within(rest) ? rest : std::string_view();
  if (!within(rest) && !rest.empty()) {
    if (source.ends_with(rest)) viewed = source.substr(source.size() - rest.size());
    if (source.starts_with(rest)) viewed = source.substr(0, rest.size());
  }
  PieceStatement kept;
  kept.line = static_cast<std::uint32_t>(line);
  kept.chainFlag = lua.chainFlag;
  if (viewed.data() != nullptr && leadingTabs <= UINT16_MAX) {
    kept.at = static_cast<std::uint32_t>(viewed.data() - pieceText.data());
    kept.size = static_cast<std::uint32_t>(viewed.size());
    kept.tabs = static_cast<std::uint16_t>(leadingTabs);
  } else {
    // Its tabs written out too, where they are more than the count holds.
    kept.at = static_cast<std::uint32_t>(piece.arena.size());
    piece.arena.append(lua.tabs, '\t').append(lua.text);
    kept.size = static_cast<std::uint32_t>(lua.tabs + lua.text.size());
    kept.inArena = true;
  }
  piece.statements.push_back(kept);
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
  EntryCounter entries;  // of the last piece
  const WalkEnd end = walkScript(
      script,
      [&](const Statement& statement) {
        // A label on the region's first line opens the piece begun there.
        if (statement.kind == LineKind::label && statement.line > 1) {
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
          entries = {};
          return;
        }
        if (statement.nameKind == NameKind::variable) piece.variables.push_back(useOf(piece, statement, line));
        if (statement.kind == LineKind::beforeLabels) return;
        entries.add(statement.lua);
        piece.entries = entries.entries();
        if (statement.nameKind == NameKind::jumpTarget) piece.jumps.push_back(useOf(piece, statement, line));
        if (statement.textChange) {
          piece.warnings.push_back({line, describeTextChange(*statement.textChange), WarningKind::textChange});
        }
        keepStatement(piece, statement, line, region.substr(starts.back()));
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
    piece.statements.shrink_to_fit();
    piece.jumps.shrink_to_fit();
    piece.variables.shrink_to_fit();
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

// Where the story's labels are defined and jumped to, and its problems:
// the names first, each name's uses counted, then laid out by name.
std::shared_ptr<const LabelIndex> indexLabels(const Story& story) {
  auto index = std::make_shared<LabelIndex>();
  std::vector<std::uint32_t> definitionCount;
  std::vector<std::uint32_t> jumpCount;
  const auto count = [&](std::vector<std::uint32_t>& counts, std::string_view name) {
    const std::size_t n = addName(index->names, name);
    if (n >= definitionCount.size()) {
      definitionCount.resize(n + 1);
      jumpCount.resize(n + 1);
    }
    ++counts[n];
  };
  for (const PiecePtr& piece : story.pieces) {
    if (piece->isLabel) count(definitionCount, piece->labelName());
    for (const NameUse& jump : piece->jumps) count(jumpCount, piece->nameOf(jump));
  }
  const auto layOut = [](const std::vector<std::uint32_t>& counts, std::vector<std::uint32_t>& at) {
    at.assign(counts.size() + 1, 0);
    for (std::size_t n = 0; n < counts.size(); ++n) at[n + 1] = at[n] + counts[n];
  };
  layOut(definitionCount, index->definitionsAt);
  layOut(jumpCount, index->jumpsAt);
  index->definitions.resize(index->definitionsAt.back());
  index->jumps.resize(index->jumpsAt.back());
  std::vector<std::uint32_t> definitionsPut(definitionCount.size());
  std::vector<std::uint32_t> jumpsPut(jumpCount.size());
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const Piece& piece = *story.pieces[k];
    const auto at = static_cast<std::uint32_t>(k);
    if (piece.isLabel) {
      const std::size_t n = findName(index->names, piece.labelName());
      const std::uint32_t put = index->definitionsAt[n] + definitionsPut[n]++;
      if (put > index->definitionsAt[n]) index->redefinitions.push_back({at, index->definitions[put - 1]});
      index->definitions[put] = at;
    }
    for (std::size_t j = 0; j < piece.jumps.size(); ++j) {
      const std::size_t n = findName(index->names, piece.nameOf(piece.jumps[j]));
      index->jumps[index->jumpsAt[n] + jumpsPut[n]++] = {at, static_cast<std::uint32_t>(j)};
    }
  }
  // A jump is a problem where no label of the script has its name.
  for (std::size_t n = 0; n < definitionCount.size(); ++n) {
    if (definitionCount[n] == 0) {
      const std::span<const Located> jumps = index->jumpsTo(n);
      index->undefined.insert(index->undefined.end(), jumps.begin(), jumps.end());
    }
  }
  std::sort(index->undefined.begin(), index->undefined.end(), [](const Located& a, const Located& b) {
    return a.piece != b.piece ? a.piece < b.piece : a.use < b.use;
  });
  return index;
}

std::shared_ptr<const NameTable> gatherVariables(const Story& story) {
  auto variables = std::make_shared<NameTable>();
  for (const PiecePtr& piece : story.pieces) {
    for (const NameUse& set : piece->variables) addVariable(*variables, piece->nameOf(set));
  }
  return variables;
}

// The names the pieces give, in order, the same in both runs of pieces:
// the labels and jump targets, and the variables.
bool sameLabels(const std::vector<PiecePtr>& a, const std::vector<PiecePtr>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const PiecePtr& x, const PiecePtr& y) {
    return x->isLabel == y->isLabel && (!x->isLabel || x->labelName() == y->labelName()) &&
           std::equal(x->jumps.begin(), x->jumps.end(), y->jumps.begin(), y->jumps.end(),
                      [&](const NameUse& p, const NameUse& q) { return x->nameOf(p) == y->nameOf(q); });
  });
}

bool sameVariables(const std::vector<PiecePtr>& a, const std::vector<PiecePtr>& b) {
  std::vector<std::string_view> names;
  for (const PiecePtr& piece : a) {
    for (const NameUse& set : piece->variables) names.push_back(piece->nameOf(set));
  }
  std::size_t k = 0;
  for (const PiecePtr& piece : b) {
    for (const NameUse& set : piece->variables) {
      if (k == names.size() || names[k++] != piece->nameOf(set)) return false;
    }
  }
  return k == names.size();
}

// The warnings of the whole script, in brindle-check's order.
void gatherWarnings(Story& story) {
  std::vector<Warning>& warnings = story.warnings;
  warnings.clear();
  const Piece& first = *story.pieces.front();
  if (first.beforeLabels > 0) {
    warnings.push_back(*beforeLabelsWarning({0, first.beforeLabels, first.firstBeforeLabels}));
  }
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const std::size_t before = story.firstLine[k] - 1;
    for (const Warning& warning : story.pieces[k]->warnings) {
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
    file.looksLikeUtf16 =
        looksLikeUtf16(std::string(script).append(next.text.substr(0, std::min<std::size_t>(2, next.scriptEnd))));
  }
  file.onlyCarriageReturns =
      story.pieces.size() == 1 && first.lines == 1 && script.find('\r') != std::string_view::npos;
  warnOfWholeFile(file, warnings);
  const LabelIndex& labels = *story.labels;
  std::vector<Warning> undefined;
  for (const Located& jump : labels.undefined) {
    const Piece& piece = *story.pieces[jump.piece];
    const NameUse& use = piece.jumps[jump.use];
    undefined.push_back(undefinedJumpWarning(piece.nameOf(use), story.placeOf(jump.piece, use).line));
  }
  std::vector<Warning> redefined;
  for (const auto& [again, earlier] : labels.redefinitions) {
    const Piece& piece = *story.pieces[again];
    redefined.push_back(redefinedLabelWarning(piece.labelName(), story.placeOf(again, piece.label).line,
                                              story.placeOf(earlier, story.pieces[earlier]->label).line));
  }
  addLabelProblems(std::move(undefined), std::move(redefined), warnings);
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

LuaStatement lineAsLua(std::string_view line) {
  constexpr std::size_t kTabBlanks = kFourBlanks.size();
  const std::size_t tabs = leadingBlanks(line) / kTabBlanks;
  const std::string_view text = line.substr(tabs * kTabBlanks);
  const auto tabsInside = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t'));
  return {text, tabs, tabs + tabsInside, ChainFlag::plainStatement};
}

LuaStatement Piece::luaOf(const PieceStatement& statement) const {
  const std::string_view bytes = (statement.inArena ? std::string_view(arena) : text).substr(statement.at, statement.size);
  // No rule puts in or takes out a tab: a statement's indent is the tabs
  // of its Lua.
  const auto tabsInside = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\t'));
  return {bytes, statement.tabs, statement.tabs + tabsInside, statement.chainFlag};
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

Place Story::firstSet(std::size_t index) const {
  const std::string_view name = nameAt(*variables, index);
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    for (const NameUse& set : pieces[k]->variables) {
      if (pieces[k]->nameOf(set) == name) return placeOf(k, set);
    }
  }
  return {};
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
  story->labels = indexLabels(*story);
  story->variables = gatherVariables(*story);
  gatherWarnings(*story);
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
  // Where no change gives other names, the labels and variables found for
  // the version before still hold.
  bool labelsChanged = false;
  bool variablesChanged = false;
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
      const std::vector<PiecePtr> replaced(pieces.begin() + static_cast<std::ptrdiff_t>(first),
                                           pieces.begin() + static_cast<std::ptrdiff_t>(last) + 1);
      labelsChanged = labelsChanged || !sameLabels(replaced, made);
      variablesChanged = variablesChanged || !sameVariables(replaced, made);
      pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(first),
                   pieces.begin() + static_cast<std::ptrdiff_t>(last) + 1);
      pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(first), made.begin(), made.end());
      break;
    }
    locatePieces(*edited);
  }
  edited->labels = labelsChanged ? indexLabels(*edited) : story.labels;
  edited->variables = variablesChanged ? gatherVariables(*edited) : story.variables;
  gatherWarnings(*edited);
  return edited;
}

std::size_t writeTable(const Piece& piece, TextBuffer& out, LineMap& lines) {
  std::string console;
  TableWriter tables(console, std::numeric_limits<std::size_t>::max(), &lines);
  beginLine(&lines, 0, LuaLineRole::header);
  tables.open(piece.nameOf(piece.label), piece.label.line);
  piece.forEachStatement([&](const LuaStatement& statement, std::size_t line) { tables.add(statement, line); });
  tables.close();
  out.append(tables.text());
  return tables.marks().tables.empty() ? 0 : tables.marks().tables.back().entries;
}

}  // namespace brindle::lsp
