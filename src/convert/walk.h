// The one reading of a script: each line is scanned, normalised and cut into
// words once; a `label` statement opens a block, and every other non-empty
// line is rewritten by the statement rules once, noting the rules' edits
// where a quoted text may change, so that the changes are known as the rules
// make them. What each line is goes to the caller's sink as a Statement, in
// order: the conversion writes tables from them, the language server keeps
// them, the plain reading keeps blocks. No state beyond one call; any thread
// may walk its own text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "normalise.h"
#include "records.h"
#include "rewrite.h"
#include "scan.h"
#include "statements.h"
#include "text_changes.h"
#include "triggers.h"
#include "words.h"

namespace brindle {

struct WalkOptions {
  bool places = false;               // find where the script spells each name
  bool textChanges = true;           // find the statements whose quoted texts change
  bool describeTextChanges = false;  // and which texts, by which rules
};

// How a walk ended.
struct WalkEnd {
  std::size_t lines = 0;              // one more than the line feeds
  std::size_t beforeLabels = 0;       // statements before the first label
  std::size_t firstBeforeLabels = 0;  // the line of the first of them
};

// The warning that the statements before the first label belong to no
// block, where there are any.
std::optional<Warning> beforeLabelsWarning(const WalkEnd& end);

inline constexpr std::string_view kNoLabelName = "label has no name; its block is named \"\"";

// A sink that takes the commonest statement apart: one of a block, taken
// whole by a fast form, that gives no name, warning or text change, as its
// Lua, its line and its source (the line as the script spells it). The walk
// hands such a statement to `plain` and not as a Statement, sparing the
// sink the look at what else the statement gives.
template <typename Sink>
concept TakesPlainStatements =
    requires(Sink& sink, const LuaStatement& lua, std::size_t line, std::string_view source) {
      sink.plain(lua, line, source);
    };

// A sink of two callables: `whole` for every Statement, `plain` for the
// plain statements.
template <typename Whole, typename Plain>
struct SplitSink {
  Whole whole;
  Plain plainOne;
  void operator()(const Statement& statement) { whole(statement); }
  void plain(const LuaStatement& lua, std::size_t line, std::string_view source) { plainOne(lua, line, source); }
};
template <typename Whole, typename Plain>
SplitSink(Whole, Plain) -> SplitSink<Whole, Plain>;

// Walks `script` line by line, handing each non-empty line to
// `handOn(const Statement&)`, or the plain ones to `handOn.plain` where the
// sink TakesPlainStatements. Lines count from 1.
template <typename Sink>
WalkEnd walkScript(std::string_view script, Sink&& handOn, const WalkOptions& options = {}) {
  constexpr bool kPlainApart = TakesPlainStatements<std::remove_reference_t<Sink>>;
  Words words;
  ScriptLine rewritten;
  std::string& line = rewritten.text;  // normalised, then rewritten in place
  std::string name;                    // the label's or the variable's, kept from the rewrite
  std::string jumpTarget;
  std::string warning;
  std::string normalisedCopy;
  EditLog edits;
  TextChange change;
  TextChangeScratch scratch;
  TextBuffer fastText;  // the Lua of a line a fast form took, where it is no view of the line
  FastStatement fast;
  Statement statement;
  WalkEnd end;
  bool inBlock = false;

  ScriptLines lines(script);
  ScannedLine scanned;
  while (lines.next(scanned)) {
    ++end.lines;
    const std::string_view raw = scanned.text;
    if (raw.empty()) [[unlikely]] {  // an empty line is dropped, and so are those right after it
      end.lines += lines.skipEmptyLines();
      continue;
    }
    const std::size_t leading = leadingBlanks(raw);
    const FirstWord first = scanned.blanksOnly ? firstWordAfter(raw, leading) : FirstWord::none;
    // A quoted text can change only where a rule edits the line or the
    // normalisation changed more than its leading blanks; the edits are
    // noted as the rules make them, in the lines that may hold a quote.
    const bool noting = inBlock && options.textChanges && scanned.mayHoldQuote;
    // Whether a fast form took the line, once asked.
    std::optional<bool> fastTaken;
    if constexpr (kPlainApart) {
      if (inBlock) {
        if (untouchedLine(raw, leading, scanned.triggers, scanned.blanksOnly, first, statement.lua)) {
          handOn.plain(statement.lua, end.lines, raw);
          continue;
        }
        fastTaken = !noting && fastStatement(raw, leading, scanned.triggers, scanned.blanksOnly, first, fastText, fast);
        if (*fastTaken && fast.nameKind == NameKind::none) {
          handOn.plain(fast.lua, end.lines, raw);
          continue;
        }
      }
    }
    // What the last line set that this one may not.
    statement.nameKind = NameKind::none;
    statement.name = {};
    statement.warning = {};
    statement.textChanged = false;
    statement.textChange = nullptr;
    statement.nameBegin = statement.nameEnd = 0;
    statement.line = end.lines;
    statement.source = raw;
    if (untouchedLine(raw, leading, scanned.triggers, scanned.blanksOnly, first, statement.lua)) {
      statement.kind = inBlock ? LineKind::statement : LineKind::beforeLabels;
      if (!inBlock && end.beforeLabels++ == 0) end.firstBeforeLabels = end.lines;
      handOn(static_cast<const Statement&>(statement));
      continue;
    }
    if (fastTaken ? *fastTaken
                  : !noting && fastStatement(raw, leading, scanned.triggers, scanned.blanksOnly, first, fastText, fast)) {
      statement.kind = inBlock ? LineKind::statement : LineKind::beforeLabels;
      if (!inBlock && end.beforeLabels++ == 0) end.firstBeforeLabels = end.lines;
      if (fast.nameKind == NameKind::variable || (inBlock && fast.nameKind == NameKind::jumpTarget)) {
        statement.nameKind = fast.nameKind;
        statement.name = fast.name;
        if (options.places) {
          statement.nameBegin = fast.nameAt;
          statement.nameEnd = fast.nameAt + fast.name.size();
        }
      }
      statement.lua = fast.lua;
      handOn(static_cast<const Statement&>(statement));
      continue;
    }
    const Normalised normalised = normaliseLine(raw, scanned.triggers, line, leading);
    // Without a blank run to turn into tabs, a line with no whitespace but
    // blanks keeps none but its leading tabs.
    words.reset(line, normalised.leadingTabs,
                scanned.blanksOnly && (scanned.triggers & kBlankRunTrigger) == 0);
    // Where the script spells word `n`, found before the rewrite changes the
    // line under the words.
    const auto place = [&](std::size_t n) {
      if (!options.places) return;
      const auto [from, to] = words.span(n);
      statement.nameBegin = rawOffsetOf(raw, from);
      statement.nameEnd = rawOffsetOf(raw, to);
    };

    if (isLabelStatement(words)) {
      labelName(words, name);
      statement.kind = LineKind::label;
      statement.lua = {};
      statement.nameKind = NameKind::label;
      statement.name = name;
      place(1);
      if (name.empty()) statement.warning = kNoLabelName;
      handOn(static_cast<const Statement&>(statement));
      inBlock = true;
      continue;
    }

    statement.kind = inBlock ? LineKind::statement : LineKind::beforeLabels;
    if (!inBlock && end.beforeLabels++ == 0) end.firstBeforeLabels = end.lines;
    if (const std::string_view variable = variableOf(words); !variable.empty()) {
      name.assign(variable);
      statement.nameKind = NameKind::variable;
      statement.name = name;
      place(1);
    } else if (options.places && inBlock && words.firstWord() == FirstWord::jumpOut) {
      place(1);
    }
    const bool normalisedInside = (scanned.triggers & (kBlankRunTrigger | kUpdateTrigger)) != 0;
    if (noting && normalisedInside) normalisedCopy = line;
    warning.clear();
    jumpTarget.clear();
    edits.clear();
    rewriteStatement(words, normalised.triggers, rewritten, &warning, &jumpTarget,
                     noting ? &edits : nullptr);
    if (noting && (!edits.empty() || normalisedInside)) {
      TextChange* const described = options.describeTextChanges ? &change : nullptr;
      change.texts.clear();
      change.rules.clear();
      statement.textChanged =
          findTextChanges(raw, normalisedInside ? std::string_view(normalisedCopy) : std::string_view(),
                          normalised.leadingTabs, edits, line, described, scratch);
      if (statement.textChanged) statement.textChange = described;
    }
    if (inBlock && !jumpTarget.empty()) {
      statement.nameKind = NameKind::jumpTarget;
      statement.name = jumpTarget;
    }
    statement.lua = luaOf(rewritten);
    statement.warning = warning;
    handOn(static_cast<const Statement&>(statement));
  }
  return end;
}

}  // namespace brindle
