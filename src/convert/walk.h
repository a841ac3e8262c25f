// The walk over a script's lines that every reading of it shares: each line
// is normalised and cut into words; a `label` statement opens a block, and
// every other non-empty line is rewritten into a statement of the block
// opened last. What the walk meets goes to a sink of the caller's, so that
// the conversion writes tables as it goes and a plain reading keeps blocks.
// No state beyond one call; any thread may walk its own text.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "names.h"
#include "normalise.h"
#include "records.h"
#include "rewrite.h"
#include "statements.h"
#include "scan.h"
#include "string_utils.h"
#include "text_changes.h"
#include "triggers.h"
#include "variables.h"
#include "words.h"

namespace brindle {

// The statements whose quoted texts the conversion changes: how many, and,
// when `describe`, a warning of kind textChange for each, in `warnings`.
struct TextChanges {
  bool describe = false;
  std::size_t count = 0;
};

// Walks `script` line by line: opens a block at every `label` statement
// (sink.open(name, line)) and rewrites every other non-empty line into one
// record, reused from line to line, which goes to sink.add(record, line)
// unless it comes before the first label; a jump_out there with a target
// goes to sink.jump(target, line) first; where the sink has it,
// sink.variable(name, line) hears of each `$` line, before a label too.
// Variables go to `variableNames` unless it is null, warnings to
// `warnings`; with `textChanges`, the statements of labels whose quoted
// texts the rewrite changes are counted there. Lines count from 1. Returns
// the number of lines, one more than the line feeds.
template <typename Sink>
std::size_t walkLines(std::string_view script, NameTable* variableNames,
                      std::vector<Warning>& warnings, Sink& sink,
                      TextChanges* textChanges = nullptr) {
  Words words;
  ScriptLine statement;
  std::string& line = statement.text;  // normalised, then rewritten in place
  std::string warning;
  std::string jumpTarget;
  // For the statements whose quoted texts may change.
  EditLog edits;
  ScriptLine replayed;
  Words replayWords;
  std::string normalisedAgain;
  TextChangeScratch scratch;
  // The final pass's text ends in a semicolon, which few scripts hold at all.
  const auto holdsEnd = [](std::string_view text) {
    return !text.empty() && std::memchr(text.data(), kPathEndStatement.back(), text.size()) != nullptr;
  };
  const bool anySemicolon = textChanges && holdsEnd(script);
  std::size_t lineNumber = 0;
  std::size_t firstOrphan = 0;
  std::size_t orphanCount = 0;
  bool inLabel = false;

  ScriptLines lines(script);
  ScannedLine scanned;
  while (lines.next(scanned)) {
    ++lineNumber;
    const std::string_view raw = scanned.text;
    if (raw.empty()) continue;  // an empty line is dropped
    const Normalised normalised = normaliseLine(raw, scanned.triggers, line);
    // Without a blank run to turn into tabs, a line with no whitespace but
    // blanks keeps none but its leading tabs.
    words.reset(line, normalised.leadingTabs,
                scanned.blanksOnly && (scanned.triggers & kBlankRunTrigger) == 0);
    const TriggerSet triggers = normalised.triggers;

    if (isLabelStatement(words)) {
      const std::string name = labelName(words);
      if (name.empty()) {
        warnings.push_back({lineNumber, "label has no name; its block is named \"\""});
      }
      sink.open(name, lineNumber);
      inLabel = true;
      continue;
    }

    if (variableNames) addVariable(*variableNames, variableOf(words));
    // A sink that asks is told of every `$` line and the name it sets.
    if constexpr (requires { sink.variable(std::string_view(), lineNumber); }) {
      const std::string_view name = variableOf(words);
      if (!name.empty()) sink.variable(name, lineNumber);
    }
    if (!inLabel && orphanCount++ == 0) firstOrphan = lineNumber;
    warning.clear();
    jumpTarget.clear();
    const bool edited = rewriteStatement(words, triggers, statement, &warning, &jumpTarget);
    if (!warning.empty()) warnings.push_back({lineNumber, warning});
    if (!inLabel) continue;
    // A quoted text can change only where a step changed the line; then the
    // steps are taken again, noting their edits, from the normalised line.
    const bool normalisedInside = (scanned.triggers & (kBlankRunTrigger | kUpdateTrigger)) != 0;
    // The final pass acts on lines no step edited too, in the few scripts
    // that hold its text at all.
    const auto finalPassActs = [&] {
      return anySemicolon && holdsEnd(raw) && findText(raw, kPathEndStatement) != std::string_view::npos;
    };
    if (textChanges && scanned.mayHoldQuote && (edited || normalisedInside || finalPassActs())) {
      normaliseLine(raw, kEveryTrigger, replayed.text);
      normalisedAgain.clear();
      if (normalisedInside) normalisedAgain = replayed.text;
      replayWords.reset(replayed.text);
      edits.clear();
      rewriteStatement(replayWords, kEveryTrigger, replayed, nullptr, nullptr, &edits);
      TextChange change;
      if (findTextChanges(raw, normalisedAgain, normalised.leadingTabs, edits, line,
                          textChanges->describe ? &change : nullptr, scratch)) {
        ++textChanges->count;
        if (textChanges->describe) {
          warnings.push_back({lineNumber, describeTextChange(change), WarningKind::textChange});
        }
      }
    }
    if (!jumpTarget.empty()) sink.jump(jumpTarget, lineNumber);
    sink.add(statement, lineNumber);
  }

  if (orphanCount > 0) {
    const bool one = orphanCount == 1;
    std::string message = std::to_string(orphanCount) + (one ? " statement" : " statements") +
                          " before the first label " + (one ? "belongs" : "belong") +
                          " to no label and " + (one ? "was" : "were") + " left out of the output";
    warnings.insert(warnings.begin(), {firstOrphan, std::move(message)});
  }
  return lineNumber;
}

}  // namespace brindle
