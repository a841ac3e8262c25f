#include "editor_features.h"

#include <algorithm>
#include <map>

#include "json_report.h"
#include "string_utils.h"
#include "triggers.h"

namespace brindle::lsp {
namespace {

Range rangeOf(const Analysis& analysis, const Place& place) {
  return {analysis.positionOf(place.line, place.begin), analysis.positionOf(place.line, place.end)};
}

// The line's text without its indentation and trailing whitespace.
Range textRangeOf(const Analysis& analysis, std::size_t line) {
  const std::string_view text = analysis.scriptLine(line);
  const std::size_t begin = text.find_first_not_of(" \t\r\v\f");
  if (begin == std::string_view::npos) return rangeOf(analysis, {line, 0, text.size()});
  return rangeOf(analysis, {line, begin, text.find_last_not_of(" \t\r\v\f") + 1});
}

Place placeAt(const Analysis& analysis, Position position) {
  return analysis.placeOf(analysis.positions.offsetOf(position));
}

bool holds(const Place& place, const Place& at) {
  return place.line == at.line && place.begin <= at.begin && at.begin <= place.end;
}

template <typename Named>
const Named* nameAt(const std::vector<Named>& uses, const Place& at) {
  const auto first = std::lower_bound(uses.begin(), uses.end(), at.line,
                                      [](const Named& use, std::size_t line) { return use.place.line < line; });
  for (auto use = first; use != uses.end() && use->place.line == at.line; ++use) {
    if (holds(use->place, at)) return &*use;
  }
  return nullptr;
}

// The word of name bytes around the place.
std::string_view wordAt(const Analysis& analysis, const Place& at) {
  const std::string_view line = analysis.scriptLine(at.line);
  std::size_t begin = std::min(at.begin, line.size());
  std::size_t end = begin;
  while (begin > 0 && isNameByte(line[begin - 1])) --begin;
  while (end < line.size() && isNameByte(line[end])) ++end;
  return line.substr(begin, end - begin);
}

// The label the place names: its definition, or a jump's target.
std::optional<std::string> labelNameAt(const Analysis& analysis, const Place& at) {
  if (const LabelSymbol* label = nameAt(analysis.labels, at)) return label->name;
  if (const NameUse* jump = nameAt(analysis.jumps, at)) return jump->name;
  return std::nullopt;
}

// The variable the place names: a `$` line's name, or a known name's word.
std::optional<std::string> variableNameAt(const Analysis& analysis, const Place& at) {
  if (const NameUse* set = nameAt(analysis.variables, at)) return set->name;
  const std::string_view word = wordAt(analysis, at);
  if (word.empty()) return std::nullopt;
  for (const NameUse& set : analysis.variables) {
    if (set.name == word) return set.name;
  }
  return std::nullopt;
}

std::string plural(std::size_t count, const char* one, const char* many) {
  return joined(std::to_string(count), " ", count == 1 ? one : many);
}

// Whether `name` can name a label: a word the line keeps whole, which Lua
// takes between double quotes.
std::string labelNameProblem(std::string_view name) {
  if (name.empty()) return "a label needs a name";
  for (const char c : name) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      return "a label's name cannot hold a blank";
    }
    if (c == ':') return "a label's name cannot hold a colon: the first one goes";
    if (c == '"' || c == '\\') return "a label's name cannot hold \" or \\, which Lua reads in its key";
    if (static_cast<unsigned char>(c) < 0x20) return "a label's name cannot hold a control character";
  }
  return {};
}

}  // namespace

std::vector<Diagnostic> diagnosticsOf(const Analysis& analysis, const check::CheckReport& report) {
  std::vector<Diagnostic> diagnostics;
  diagnostics.reserve(report.findings.size() + report.warnings.size());
  for (const check::Finding& finding : report.findings) {
    Range range = textRangeOf(analysis, finding.line);
    if (!finding.hints.empty()) {
      const check::Hint& hint = finding.hints.front();
      range = rangeOf(analysis, {finding.line, hint.column - 1, std::max(hint.endColumn, hint.column) - 1});
    }
    diagnostics.push_back({range, Severity::error, std::string(check::kindName(finding.kind)),
                           check::messageOf(finding)});
  }
  for (const Warning& warning : report.warnings) {
    diagnostics.push_back({textRangeOf(analysis, warning.line), Severity::warning,
                           std::string(check::kindName(warning.kind)), warning.message});
  }
  return diagnostics;
}

std::optional<Range> definitionAt(const Analysis& analysis, Position position) {
  const Place at = placeAt(analysis, position);
  if (const std::optional<std::string> label = labelNameAt(analysis, at)) {
    for (auto definition = analysis.labels.rbegin(); definition != analysis.labels.rend(); ++definition) {
      if (definition->name == *label) return rangeOf(analysis, definition->place);
    }
    return std::nullopt;
  }
  if (const std::optional<std::string> variable = variableNameAt(analysis, at)) {
    for (const NameUse& set : analysis.variables) {
      if (set.name == *variable) return rangeOf(analysis, set.place);
    }
  }
  return std::nullopt;
}

std::vector<Range> referencesAt(const Analysis& analysis, Position position, bool withDefinitions) {
  std::vector<Range> ranges;
  const Place at = placeAt(analysis, position);
  if (const std::optional<std::string> label = labelNameAt(analysis, at)) {
    if (withDefinitions) {
      for (const LabelSymbol& definition : analysis.labels) {
        if (definition.name == *label) ranges.push_back(rangeOf(analysis, definition.place));
      }
    }
    for (const NameUse& jump : analysis.jumps) {
      if (jump.name == *label) ranges.push_back(rangeOf(analysis, jump.place));
    }
    return ranges;
  }
  if (const std::optional<std::string> variable = variableNameAt(analysis, at)) {
    for (const NameUse& set : analysis.variables) {
      if (set.name == *variable) ranges.push_back(rangeOf(analysis, set.place));
    }
  }
  return ranges;
}

std::vector<Completion> completionsAt(const Analysis& analysis, Position position, std::size_t most) {
  const Place at = placeAt(analysis, position);
  const std::string_view before = analysis.scriptLine(at.line).substr(0, at.begin);
  // The first word, and the word being typed.
  const std::size_t first = before.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t firstEnd = std::min(before.find_first_of(" \t", first), before.size());
  const std::string_view keyword = before.substr(first, firstEnd - first);
  if (firstEnd == before.size()) return {};  // still the first word
  std::size_t typed = before.size();
  while (typed > firstEnd && isNameByte(before[typed - 1])) --typed;
  const std::string_view prefix = before.substr(typed);
  std::vector<Completion> completions;
  std::map<std::string_view, bool> seen;
  const auto offer = [&](std::string_view name, CompletionKind kind) {
    if (completions.size() >= most || !name.starts_with(prefix) || seen[name]) return;
    seen[name] = true;
    completions.push_back({std::string(name), kind});
  };
  const bool secondWord = before.find_first_not_of(" \t", firstEnd) == std::string_view::npos ||
                          before.find_first_not_of(" \t", firstEnd) == typed;
  if (keyword == kJumpOutWord && secondWord) {
    for (const LabelSymbol& label : analysis.labels) offer(label.name, CompletionKind::label);
  } else if ((keyword == kDollarWord && secondWord) || keyword == kIfWord || keyword == kElifWord) {
    for (const NameUse& set : analysis.variables) offer(set.name, CompletionKind::variable);
  }
  return completions;
}

std::optional<std::string> hoverAt(const Analysis& analysis, const LuaView& view, Position position) {
  const Place at = placeAt(analysis, position);
  if (const LabelSymbol* label = nameAt(analysis.labels, at)) {
    std::vector<std::size_t> from;
    for (const NameUse& jump : analysis.jumps) {
      if (jump.name == label->name) from.push_back(jump.place.line);
    }
    const std::size_t index = static_cast<std::size_t>(label - analysis.labels.data());
    const std::size_t entries = index < view.entries.size() ? view.entries[index] : 0;
    std::string text = joined("label **", label->name, "**: ", plural(entries, "entry", "entries"),
                              ", ", plural(from.size(), "jump", "jumps"), " to it");
    for (std::size_t k = 0; k < from.size() && k < 20; ++k) {
      text.append(k > 0 ? ", " : from.size() == 1 ? " (line " : " (lines ").append(std::to_string(from[k]));
    }
    if (!from.empty()) text += from.size() > 20 ? ", ...)" : ")";
    return text;
  }
  if (at.line >= view.ofScriptLine.size() || view.ofScriptLine[at.line] == std::string::npos) return std::nullopt;
  // The Lua lines the statement's own writing began, in order.
  std::string lua;
  const std::vector<LuaLine>& lines = view.lines.lines;
  for (std::size_t k = view.ofScriptLine[at.line]; k < lines.size() && lines[k].scriptLine == at.line; ++k) {
    if (lines[k].role == LuaLineRole::chainEnd || lines[k].role == LuaLineRole::tableEnd) break;
    lua.append(view.line(k)).append("\n");
  }
  return joined("```lua\n", lua, "```");
}

Rename renameAt(const Analysis& analysis, Position position, std::string_view newName) {
  const Place at = placeAt(analysis, position);
  const std::optional<std::string> label = labelNameAt(analysis, at);
  if (!label) return {{}, "only a label can be renamed here: put the cursor on a label or a jump_out's target"};
  if (std::string problem = labelNameProblem(newName); !problem.empty()) return {{}, problem};
  Rename rename;
  for (const LabelSymbol& definition : analysis.labels) {
    if (definition.name == newName) return {{}, joined("a label \"", definition.name, "\" is defined already")};
    if (definition.name != *label) continue;
    if (!definition.renameable) {
      return {{}, joined("the label on line ", std::to_string(definition.place.line),
                         " is not spelled as one word before its colon; rename it by hand")};
    }
    rename.edits.push_back({rangeOf(analysis, definition.place), std::string(newName)});
  }
  for (const NameUse& jump : analysis.jumps) {
    if (jump.name != *label) continue;
    const std::string_view spelled =
        analysis.scriptLine(jump.place.line).substr(jump.place.begin, jump.place.end - jump.place.begin);
    if (spelled != jump.name) {
      return {{}, joined("the jump on line ", std::to_string(jump.place.line),
                         " does not spell the label as one word; rename it by hand")};
    }
    rename.edits.push_back({rangeOf(analysis, jump.place), std::string(newName)});
  }
  return rename;
}

std::vector<Symbol> documentSymbols(const Analysis& analysis) {
  std::vector<Symbol> symbols;
  for (const LabelSymbol& label : analysis.labels) {
    symbols.push_back({label.name.empty() ? "\"\"" : label.name, textRangeOf(analysis, label.place.line),
                       rangeOf(analysis, label.place)});
  }
  return symbols;
}

std::vector<Lens> codeLenses(const Analysis& analysis) {
  std::map<std::string_view, std::size_t> jumps;
  for (const NameUse& jump : analysis.jumps) ++jumps[jump.name];
  std::vector<Lens> lenses;
  for (const LabelSymbol& label : analysis.labels) {
    lenses.push_back({textRangeOf(analysis, label.place.line), plural(jumps[label.name], "jump", "jumps")});
  }
  return lenses;
}

std::vector<QuickFix> quickFixes(const Analysis& analysis, const check::CheckReport& report, Range range) {
  std::vector<QuickFix> fixes;
  for (const check::Finding& finding : report.findings) {
    const std::size_t line = analysis.positionOf(finding.line, 0).line;
    if (line < range.start.line || line > range.end.line) continue;
    for (const check::Hint& hint : finding.hints) {
      if (hint.replacement.empty()) continue;
      const Place place{finding.line, hint.column - 1, std::max(hint.endColumn, hint.column) - 1};
      fixes.push_back({hint.fix, {rangeOf(analysis, place), hint.replacement}});
    }
  }
  return fixes;
}

}  // namespace brindle::lsp
