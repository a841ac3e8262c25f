#include "editor_features.h"

#include <algorithm>
#include <map>

#include "json_report.h"
#include "layout.h"
#include "string_utils.h"
#include "triggers.h"
#include "writer.h"

namespace brindle::lsp {
namespace {

Range rangeOf(const Story& story, const Place& place) {
  return {story.positionOf(place.line, place.begin), story.positionOf(place.line, place.end)};
}

// The line's text without its indentation and trailing whitespace; the
// whole line where it holds nothing else.
Range textRangeOf(const Story& story, std::size_t line) {
  const std::string_view text = story.scriptLine(line);
  const Span span = textSpan(text);
  if (span.begin == span.end) return rangeOf(story, {line, 0, text.size()});
  return rangeOf(story, {line, span.begin, span.end});
}

Place placeAt(const Story& story, Position position) { return story.placeOf(story.offsetOf(position)); }

bool holds(const Place& place, const Place& at) {
  return place.line == at.line && place.begin <= at.begin && at.begin <= place.end;
}

// The use of `uses`, names of piece `k`, at `at`.
const NameUse* useAt(const Story& story, std::size_t k, const std::vector<NameUse>& uses, const Place& at) {
  for (const NameUse& use : uses) {
    if (holds(story.placeOf(k, use), at)) return &use;
  }
  return nullptr;
}

// The word of name bytes around the place.
std::string_view wordAt(const Story& story, const Place& at) {
  const std::string_view line = story.scriptLine(at.line);
  std::size_t begin = std::min(at.begin, line.size());
  std::size_t end = begin;
  while (begin > 0 && isNameByte(line[begin - 1])) --begin;
  while (end < line.size() && isNameByte(line[end])) ++end;
  return line.substr(begin, end - begin);
}

// The label the place names: its definition, or a jump's target.
std::optional<std::string_view> labelNameAt(const Story& story, const Place& at) {
  const std::size_t k = story.pieceOfLine(at.line);
  const Piece& piece = *story.pieces[k];
  if (piece.isLabel && holds(story.placeOf(k, piece.label), at)) return piece.nameOf(piece.label);
  if (const NameUse* jump = useAt(story, k, piece.jumps, at)) return piece.nameOf(*jump);
  return std::nullopt;
}

// The variable the place names: a `$` line's name, or a known name's word.
std::optional<std::string_view> variableNameAt(const Story& story, const Place& at) {
  const std::size_t k = story.pieceOfLine(at.line);
  if (const NameUse* set = useAt(story, k, story.pieces[k]->variables, at)) return story.pieces[k]->nameOf(*set);
  const std::string_view word = wordAt(story, at);
  if (word.empty() || findName(*story.variables, word) == kNoName) return std::nullopt;
  return word;
}

// Every `$` line that sets `name`, in order.
std::vector<Place> setsOf(const Story& story, std::string_view name) {
  std::vector<Place> places;
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const Piece& piece = *story.pieces[k];
    for (const NameUse& set : piece.variables) {
      if (piece.nameOf(set) == name) places.push_back(story.placeOf(k, set));
    }
  }
  return places;
}

std::vector<Place> definitionsOf(const Story& story, std::string_view label) {
  std::vector<Place> places;
  const std::size_t name = findName(story.labels->names, label);
  if (name == kNoName) return places;
  for (const std::uint32_t k : story.labels->definitionsOf(name)) places.push_back(story.placeOf(k, story.pieces[k]->label));
  return places;
}

std::vector<Place> jumpsTo(const Story& story, std::string_view label) {
  std::vector<Place> places;
  const std::size_t name = findName(story.labels->names, label);
  if (name == kNoName) return places;
  for (const Located& jump : story.labels->jumpsTo(name)) {
    places.push_back(story.placeOf(jump.piece, story.pieces[jump.piece]->jumps[jump.use]));
  }
  return places;
}

std::string plural(std::size_t count, const char* one, const char* many) {
  return joined(std::to_string(count), " ", count == 1 ? one : many);
}

// Whether `name` can name a label: a word the line keeps whole, which Lua
// takes between double quotes.
std::string labelNameProblem(std::string_view name) {
  if (name.empty()) return "a label needs a name";
  for (const char c : name) {
    if (isSpaceByte(c)) return "a label's name cannot hold a blank";
    if (c == ':') return "a label's name cannot hold a colon: the first one goes";
    if (c == '"' || c == '\\') return "a label's name cannot hold \" or \\, which Lua reads in its key";
    if (static_cast<unsigned char>(c) < 0x20) return "a label's name cannot hold a control character";
  }
  return {};
}

}  // namespace

void forEachDiagnostic(const StoryReport& report, const DiagnosticVisit& visit) {
  const Story& story = *report.story;
  std::string message;
  for (std::size_t k = 0; k < report.size(); ++k) {
    const check::Finding& raw = report.raw(k);
    const std::size_t line = report.lineOf(k);
    Range range = textRangeOf(story, line);
    if (!raw.hints.empty()) {
      const check::Hint& hint = raw.hints.front();
      range = rangeOf(story, {line, hint.column - 1, std::max(hint.endColumn, hint.column) - 1});
    }
    message.clear();
    check::appendMessage(message, report.namesLine(k) ? report.finding(k) : raw);
    visit(range, Severity::error, check::kindName(raw.kind), message);
  }
  for (const Warning& warning : report.warnings) {
    visit(textRangeOf(story, warning.line), Severity::warning, check::kindName(warning.kind), warning.message);
  }
  // Read name by name from the label index, whose runs of jumps are laid
  // out already: no name is looked up after a change, however many labels.
  const LabelIndex& labels = *story.labels;
  const auto first = std::find_if(story.pieces.begin(), story.pieces.end(),
                                  [](const std::shared_ptr<const Piece>& piece) { return piece->isLabel; });
  const std::string_view start = first == story.pieces.end() ? std::string_view() : (*first)->labelName();
  for (std::size_t n = 0; n + 1 < labels.jumpsAt.size(); ++n) {
    if (!labels.jumpsTo(n).empty() || labels.definitionsOf(n).empty() || nameAt(labels.names, n) == start) continue;
    message.assign("no jump_out leads to label ").append(nameAt(labels.names, n));
    for (const std::uint32_t k : labels.definitionsOf(n)) {
      visit(rangeOf(story, story.placeOf(k, story.pieces[k]->label)), Severity::hint, {}, message);
    }
  }
}

std::vector<Diagnostic> diagnosticsOf(const StoryReport& report) {
  std::vector<Diagnostic> diagnostics;
  forEachDiagnostic(report, [&](const Range& range, Severity severity, std::string_view code, std::string_view message) {
    diagnostics.push_back({range, severity, std::string(code), std::string(message)});
  });
  return diagnostics;
}

std::optional<Range> definitionAt(const Story& story, Position position) {
  const Place at = placeAt(story, position);
  if (const std::optional<std::string_view> label = labelNameAt(story, at)) {
    const std::vector<Place> definitions = definitionsOf(story, *label);
    if (definitions.empty()) return std::nullopt;
    return rangeOf(story, definitions.back());
  }
  if (const std::optional<std::string_view> variable = variableNameAt(story, at)) {
    return rangeOf(story, story.firstSet(findName(*story.variables, *variable)));
  }
  return std::nullopt;
}

std::vector<Range> referencesAt(const Story& story, Position position, bool withDefinitions) {
  std::vector<Range> ranges;
  const Place at = placeAt(story, position);
  std::vector<Place> places;
  if (const std::optional<std::string_view> label = labelNameAt(story, at)) {
    if (withDefinitions) places = definitionsOf(story, *label);
    const std::vector<Place> jumps = jumpsTo(story, *label);
    places.insert(places.end(), jumps.begin(), jumps.end());
  } else if (const std::optional<std::string_view> variable = variableNameAt(story, at)) {
    places = setsOf(story, *variable);
  }
  for (const Place& place : places) ranges.push_back(rangeOf(story, place));
  return ranges;
}

std::vector<Completion> completionsAt(const Story& story, Position position, std::size_t most) {
  const Place at = placeAt(story, position);
  const std::string_view before = story.scriptLine(at.line).substr(0, at.begin);
  // The first word, and the word being typed.
  std::size_t firstEnd = 0;
  const std::string_view keyword = nextWord(before, firstEnd);
  if (keyword.empty() || firstEnd == before.size()) return {};  // still the first word
  std::size_t typed = before.size();
  while (typed > firstEnd && isNameByte(before[typed - 1])) --typed;
  const std::string_view prefix = before.substr(typed);
  std::size_t afterBlanks = firstEnd;
  while (afterBlanks < before.size() && isSpaceByte(before[afterBlanks])) ++afterBlanks;
  const bool secondWord = afterBlanks == before.size() || afterBlanks == typed;
  std::vector<Completion> completions;
  std::map<std::string_view, bool> seen;
  const auto offer = [&](std::string_view name, CompletionKind kind) {
    if (completions.size() >= most || !name.starts_with(prefix) || seen[name]) return;
    seen[name] = true;
    completions.push_back({std::string(name), kind});
  };
  if (keyword == kJumpOutWord && secondWord) {
    for (const std::shared_ptr<const Piece>& piece : story.pieces) {
      if (piece->isLabel) offer(piece->nameOf(piece->label), CompletionKind::label);
    }
  } else if ((keyword == kDollarWord && secondWord) || keyword == kIfWord || keyword == kElifWord) {
    for (std::size_t k = 0; k < nameCount(*story.variables); ++k) {
      offer(nameAt(*story.variables, k), CompletionKind::variable);
    }
  }
  return completions;
}

std::optional<std::string> hoverAt(const Story& story, Position position) {
  const Place at = placeAt(story, position);
  const std::size_t k = story.pieceOfLine(at.line);
  const Piece& piece = *story.pieces[k];
  if (!piece.isLabel) return std::nullopt;
  TextBuffer lua;
  LineMap lines;
  const std::size_t entries = writeTable(piece, lua, lines);
  if (holds(story.placeOf(k, piece.label), at)) {
    const std::string_view name = piece.nameOf(piece.label);
    const std::vector<Place> from = jumpsTo(story, name);
    std::string text = joined("label **", name, "**: ", plural(entries, "entry", "entries"), ", ",
                              plural(from.size(), "jump", "jumps"), " to it");
    for (std::size_t j = 0; j < from.size() && j < 20; ++j) {
      text.append(j > 0 ? ", " : from.size() == 1 ? " (line " : " (lines ").append(std::to_string(from[j].line));
    }
    if (!from.empty()) text += from.size() > 20 ? ", ...)" : ")";
    return text;
  }
  // The Lua lines the statement's own writing began, in order, from the
  // first that writes a statement of its line: the lines of the map are
  // those of the text, the first before its first line feed.
  const std::size_t line = at.line - story.firstLine[k] + 1;
  const std::vector<LuaLine>& roles = lines.lines;
  std::size_t first = 0;
  while (first < roles.size() &&
         !(roles[first].scriptLine == line &&
           (roles[first].role == LuaLineRole::entry || roles[first].role == LuaLineRole::chainOpen ||
            roles[first].role == LuaLineRole::chainGoesOn || roles[first].role == LuaLineRole::chainBody))) {
    ++first;
  }
  if (first == roles.size()) return std::nullopt;
  const std::string_view text = lua.view();
  std::size_t begin = 0;
  for (std::size_t l = 0; l < first; ++l) begin = text.find('\n', begin) + 1;
  std::string shown;
  for (std::size_t l = first; l < roles.size() && roles[l].scriptLine == line; ++l) {
    if (roles[l].role == LuaLineRole::chainEnd || roles[l].role == LuaLineRole::tableEnd) break;
    const std::size_t end = std::min(text.find('\n', begin), text.size());
    shown.append(text.substr(begin, end - begin)).append("\n");
    begin = end + 1;
  }
  return joined("```lua\n", shown, "```");
}

Rename renameAt(const Story& story, Position position, std::string_view newName) {
  const Place at = placeAt(story, position);
  const std::optional<std::string_view> label = labelNameAt(story, at);
  if (!label) return {{}, "only a label can be renamed here: put the cursor on a label or a jump_out's target"};
  if (std::string problem = labelNameProblem(newName); !problem.empty()) return {{}, problem};
  Rename rename;
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const Piece& piece = *story.pieces[k];
    if (!piece.isLabel) continue;
    const std::string_view name = piece.nameOf(piece.label);
    if (name == newName) return {{}, joined("a label \"", name, "\" is defined already")};
    if (name != *label) continue;
    const Place place = story.placeOf(k, piece.label);
    if (!piece.renameable) {
      return {{}, joined("the label on line ", std::to_string(place.line),
                         " is not spelled as one word before its colon; rename it by hand")};
    }
    rename.edits.push_back({rangeOf(story, place), std::string(newName)});
  }
  for (const Place& jump : jumpsTo(story, *label)) {
    const std::string_view spelled = story.scriptLine(jump.line).substr(jump.begin, jump.end - jump.begin);
    if (spelled != *label) {
      return {{}, joined("the jump on line ", std::to_string(jump.line),
                         " does not spell the label as one word; rename it by hand")};
    }
    rename.edits.push_back({rangeOf(story, jump), std::string(newName)});
  }
  return rename;
}

std::vector<Symbol> documentSymbols(const Story& story) {
  std::vector<Symbol> symbols;
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const Piece& piece = *story.pieces[k];
    if (!piece.isLabel) continue;
    const std::string_view name = piece.nameOf(piece.label);
    const Place place = story.placeOf(k, piece.label);
    symbols.push_back({name.empty() ? "\"\"" : std::string(name), textRangeOf(story, place.line), rangeOf(story, place)});
  }
  return symbols;
}

std::vector<Lens> codeLenses(const Story& story) {
  std::vector<Lens> lenses;
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const Piece& piece = *story.pieces[k];
    if (!piece.isLabel) continue;
    const std::size_t name = findName(story.labels->names, piece.labelName());
    lenses.push_back({textRangeOf(story, story.placeOf(k, piece.label).line),
                      plural(name == kNoName ? 0 : story.labels->jumpsTo(name).size(), "jump", "jumps")});
  }
  return lenses;
}

std::vector<QuickFix> quickFixes(const Story& story, const StoryReport& report, Range range) {
  std::vector<QuickFix> fixes;
  for (std::size_t k = 0; k < report.size(); ++k) {
    const check::Finding& raw = report.raw(k);
    if (raw.hints.empty()) continue;
    const std::size_t findingLine = report.lineOf(k);
    const std::size_t line = story.positionOf(findingLine, 0).line;
    if (line < range.start.line || line > range.end.line) continue;
    for (const check::Hint& hint : raw.hints) {
      if (hint.replacement.empty()) continue;
      const Place place{findingLine, hint.column - 1, std::max(hint.endColumn, hint.column) - 1};
      fixes.push_back({hint.fix, {rangeOf(story, place), hint.replacement}});
    }
  }
  return fixes;
}

StoryMap storyMap(const Story& story) {
  StoryMapBuilder builder(nameCount(story.labels->names));
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const Piece& piece = *story.pieces[k];
    if (!piece.isLabel) continue;  // the lines before the first label: no jump of theirs runs
    builder.label(piece.labelName(), story.placeOf(k, piece.label).line);
    builder.entries(piece.entries);
    for (const NameUse& jump : piece.jumps) builder.jump(piece.nameOf(jump), story.placeOf(k, jump).line);
  }
  return builder.finish();
}

std::string storyLua(const Story& story) {
  std::string console;
  TableWriter tables(console, kMostItemsPerFunction);
  for (const std::shared_ptr<const Piece>& piece : story.pieces) {
    if (!piece->isLabel) continue;
    tables.open(piece->labelName(), 0);
    piece->forEachStatement([&](const LuaStatement& statement, std::size_t) { tables.add(statement, 0); });
  }
  tables.close();
  std::string lua;
  const LuaSink none;
  LuaWriter writer(lua, none, kMostItemsPerFunction, static_cast<std::size_t>(-1));
  writer.begin(chooseLayout(nameCount(*story.variables) + tables.items(), kMostItemsPerFunction), *story.variables);
  writer.take(tables);
  writer.finish();
  return lua;
}

}  // namespace brindle::lsp
