// The walk over a script's lines that every reading of it shares: each line
// is normalised and cut into words; a `label` statement opens a block, and
// every other non-empty line is rewritten into a statement of the block
// opened last. What the walk meets goes to a sink of the caller's, so that
// the conversion writes tables as it goes and a plain reading keeps blocks.
// No state beyond one call; any thread may walk its own text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "names.h"
#include "normalise.h"
#include "records.h"
#include "rewrite.h"
#include "scan.h"
#include "triggers.h"
#include "variables.h"
#include "words.h"

namespace brindle {

// Walks `script` line by line: opens a block at every `label` statement
// (sink.open(name, line)) and rewrites every other non-empty line into one
// record, reused from line to line, which goes to sink.add(record, line)
// unless it comes before the first label; a jump_out there with a target
// goes to sink.jump(target, line) first. Variables go to `variableNames`
// unless it is null, warnings to `warnings`. Lines count from 1. Returns the
// number of lines, one more than the line feeds.
template <typename Sink>
std::size_t walkLines(std::string_view script, NameTable* variableNames,
                      std::vector<Warning>& warnings, Sink& sink) {
  Words words;
  ScriptLine statement;
  std::string& line = statement.text;  // normalised, then rewritten in place
  std::string warning;
  std::string jumpTarget;
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
    if (!inLabel && orphanCount++ == 0) firstOrphan = lineNumber;
    warning.clear();
    jumpTarget.clear();
    rewriteStatement(words, triggers, statement, &warning, &jumpTarget);
    if (!warning.empty()) warnings.push_back({lineNumber, warning});
    if (!inLabel) continue;
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
