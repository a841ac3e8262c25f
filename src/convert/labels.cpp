#include "labels.h"

#include <algorithm>
#include <string>
#include <utility>

namespace brindle {
namespace {

using Defined = LabelReferences::Defined;
using Redefinition = LabelReferences::Redefinition;

bool isDefined(const LabelReferences& references, std::size_t name) {
  return name < references.defined.size() && references.defined[name].first != 0;
}

Defined& definedEntry(LabelReferences& references, std::size_t name) {
  if (references.defined.size() <= name) references.defined.resize(name + 1);
  return references.defined[name];
}

void keepRedefinition(LabelReferences& references, const Redefinition& again) {
  if (references.redefinitionCount++ < references.most) references.redefinitions.push_back(again);
}

}  // namespace

void addLabel(LabelReferences& references, std::string_view name, std::size_t line) {
  const std::size_t index = internName(references.names, name);
  Defined& defined = definedEntry(references, index);
  if (defined.first == 0) {
    defined = {line, line};
    references.definedOrder.push_back(index);
    return;
  }
  keepRedefinition(references, {line, defined.last, index});
  defined.last = line;
}

void addJump(LabelReferences& references, std::string_view target, std::size_t line) {
  const std::size_t index = internName(references.names, target);
  // A label defined before stays defined: such a jump is never a problem.
  if (!isDefined(references, index)) references.jumps.push_back({line, index});
}

void appendReferences(LabelReferences& earlier, const LabelReferences& later,
                      std::size_t lineFeedsBefore) {
  // The names of `later` as `earlier` numbers them, looked up when first needed.
  std::vector<std::size_t> inEarlier(variableCount(later.names), kNoName);
  const auto earlierName = [&](std::size_t name) {
    if (inEarlier[name] == kNoName) inEarlier[name] = internName(earlier.names, variableName(later.names, name));
    return inEarlier[name];
  };

  // The later stretch's redefinitions: its own, and its first definitions
  // of names the earlier one defined; those kept are the first by line.
  std::vector<Redefinition> found;
  for (const Redefinition& again : later.redefinitions) {
    found.push_back({again.line + lineFeedsBefore, again.earlier + lineFeedsBefore, earlierName(again.name)});
  }
  std::size_t count = later.redefinitionCount;
  for (const std::size_t name : later.definedOrder) {
    const Defined there = later.defined[name];
    const std::size_t index = earlierName(name);
    Defined& defined = definedEntry(earlier, index);
    if (defined.first == 0) {
      defined = {there.first + lineFeedsBefore, there.last + lineFeedsBefore};
      earlier.definedOrder.push_back(index);
      continue;
    }
    found.push_back({there.first + lineFeedsBefore, defined.last, index});
    ++count;
    defined.last = there.last + lineFeedsBefore;
  }
  std::sort(found.begin(), found.end(),
            [](const Redefinition& a, const Redefinition& b) { return a.line < b.line; });
  for (const Redefinition& again : found) {
    if (earlier.redefinitions.size() >= earlier.most) break;
    earlier.redefinitions.push_back(again);
  }
  earlier.redefinitionCount += count;

  // Jumps still without a target, unless a stretch so far defines it.
  for (const LabelReferences::Jump& jump : later.jumps) {
    if (isDefined(later, jump.name)) continue;
    const std::size_t index = earlierName(jump.name);
    if (!isDefined(earlier, index)) earlier.jumps.push_back({jump.line + lineFeedsBefore, index});
  }
}

LabelProblemCounts findLabelProblems(const LabelReferences& references,
                                     std::vector<Warning>& undefinedTargets,
                                     std::vector<Warning>& redefinedLabels) {
  const auto quoted = [&](std::size_t name) {
    std::string text(1, '"');
    text.append(variableName(references.names, name)).push_back('"');
    return text;
  };
  LabelProblemCounts counts;
  counts.redefinedLabels = references.redefinitionCount;
  for (const Redefinition& again : references.redefinitions) {
    redefinedLabels.push_back({again.line, "label " + quoted(again.name) +
                                               " is defined again; this table replaces the one of line " +
                                               std::to_string(again.earlier) + " in LABELS"});
  }
  for (const LabelReferences::Jump& jump : references.jumps) {
    if (isDefined(references, jump.name)) continue;
    if (counts.undefinedTargets++ < references.most) {
      undefinedTargets.push_back(
          {jump.line, "jump_out leads to " + quoted(jump.name) + ", which no label of this script defines"});
    }
  }
  return counts;
}

}  // namespace brindle
