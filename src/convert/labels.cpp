#include "labels.h"

#include <algorithm>
#include <iterator>
#include <string>

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

std::string quoted(std::string_view name) {
  std::string text(1, '"');
  return text.append(name).append(1, '"');
}

}  // namespace

void addLabel(LabelReferences& references, std::string_view name, std::size_t line) {
  const std::size_t index = addName(references.names, name);
  Defined& defined = definedEntry(references, index);
  if (defined.first == 0) {
    defined = {line, line};
    return;
  }
  keepRedefinition(references, {line, defined.last, index});
  defined.last = line;
}

void addJump(LabelReferences& references, std::string_view target, std::size_t line) {
  const std::size_t index = addName(references.names, target);
  // A label defined before stays defined: such a jump is never a problem.
  if (!isDefined(references, index)) references.jumps.push_back({line, index});
}

void appendLabelReferences(LabelReferences& references, const LabelReferences& later,
                           std::size_t lineFeedsBefore) {
  // The labels `later` defines: a name defined before is defined again at
  // its first definition there; `later`'s own redefinitions follow it.
  std::vector<Redefinition> again;  // lines and names of `references`
  for (const Redefinition& redefinition : later.redefinitions) {
    again.push_back({redefinition.line + lineFeedsBefore, redefinition.earlier + lineFeedsBefore,
                     addName(references.names, nameAt(later.names, redefinition.name))});
  }
  std::size_t definedBefore = 0;
  for (std::size_t name = 0; name < later.defined.size(); ++name) {
    if (!isDefined(later, name)) continue;
    const std::size_t index = addName(references.names, nameAt(later.names, name));
    Defined& defined = definedEntry(references, index);
    const Defined& there = later.defined[name];
    if (defined.first == 0) {
      defined.first = there.first + lineFeedsBefore;
    } else {
      again.push_back({there.first + lineFeedsBefore, defined.last, index});
      ++definedBefore;
    }
    defined.last = there.last + lineFeedsBefore;
  }
  std::sort(again.begin(), again.end(),
            [](const Redefinition& a, const Redefinition& b) { return a.line < b.line; });
  const std::size_t count = references.redefinitionCount + later.redefinitionCount + definedBefore;
  for (const Redefinition& redefinition : again) keepRedefinition(references, redefinition);
  references.redefinitionCount = count;
  // A jump of `later` to a name now defined is never a problem.
  for (const LabelReferences::Jump& jump : later.jumps) {
    const std::string_view target = nameAt(later.names, jump.name);
    const std::size_t index = findName(references.names, target);
    if (index == kNoName || !isDefined(references, index)) {
      references.jumps.push_back({jump.line + lineFeedsBefore, addName(references.names, target)});
    }
  }
}

void warnOfLabelProblems(const LabelReferences& references, std::vector<Warning>& warnings) {
  std::vector<Warning> undefinedTargets;
  std::size_t undefinedCount = 0;
  for (const LabelReferences::Jump& jump : references.jumps) {
    if (isDefined(references, jump.name)) continue;
    if (undefinedCount++ < references.most) {
      undefinedTargets.push_back({jump.line,
                                  "jump_out leads to " + quoted(nameAt(references.names, jump.name)) +
                                      ", which no label of this script defines",
                                  WarningKind::undefinedJumpTarget});
    }
  }
  std::vector<Warning> redefinedLabels;
  for (const Redefinition& again : references.redefinitions) {
    redefinedLabels.push_back({again.line,
                               "label " + quoted(nameAt(references.names, again.name)) +
                                   " is defined again; this table replaces the one of line " +
                                   std::to_string(again.earlier) + " in LABELS",
                               WarningKind::redefinedLabel});
  }
  // The rest of a kind is counted on the line of the last one shown.
  const auto countRest = [](std::vector<Warning>& shown, std::size_t all, const char* what) {
    if (all <= shown.size()) return;
    shown.push_back({shown.back().line,
                     std::to_string(all - shown.size()) + " more " + what +
                         " not shown; brindle-check lists them all",
                     WarningKind::notShown});
  };
  countRest(undefinedTargets, undefinedCount, "jumps to labels this script does not define are");
  countRest(redefinedLabels, references.redefinitionCount, "labels defined again are");
  if (undefinedTargets.empty() && redefinedLabels.empty()) return;
  for (auto* shown : {&undefinedTargets, &redefinedLabels}) {
    std::move(shown->begin(), shown->end(), std::back_inserter(warnings));
  }
  std::stable_sort(warnings.begin(), warnings.end(),
                   [](const Warning& a, const Warning& b) { return a.line < b.line; });
}

}  // namespace brindle
