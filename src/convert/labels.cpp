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
  if (references.redefinitionCount++ < references.most) {
    references.redefinitions.push_back({line, defined.last, index});
  }
  defined.last = line;
}

void addJump(LabelReferences& references, std::string_view target, std::size_t line) {
  const std::size_t index = addName(references.names, target);
  // A label defined before stays defined: such a jump is never a problem.
  if (!isDefined(references, index)) references.jumps.push_back({line, index});
}

Warning undefinedJumpWarning(std::string_view target, std::size_t line) {
  return {line, "jump_out leads to " + quoted(target) + ", which no label of this script defines",
          WarningKind::undefinedJumpTarget};
}

Warning redefinedLabelWarning(std::string_view name, std::size_t line, std::size_t earlier) {
  return {line,
          "label " + quoted(name) + " is defined again; this table replaces the one of line " +
              std::to_string(earlier) + " in LABELS",
          WarningKind::redefinedLabel};
}

void addLabelProblems(std::vector<Warning> undefinedJumps, std::vector<Warning> redefinedLabels,
                      std::vector<Warning>& warnings) {
  if (undefinedJumps.empty() && redefinedLabels.empty()) return;
  for (auto* problems : {&undefinedJumps, &redefinedLabels}) {
    std::move(problems->begin(), problems->end(), std::back_inserter(warnings));
  }
  std::stable_sort(warnings.begin(), warnings.end(),
                   [](const Warning& a, const Warning& b) { return a.line < b.line; });
}

void warnOfLabelProblems(const LabelReferences& references, std::vector<Warning>& warnings) {
  std::vector<Warning> undefinedTargets;
  std::size_t undefinedCount = 0;
  for (const LabelReferences::Jump& jump : references.jumps) {
    if (isDefined(references, jump.name)) continue;
    if (undefinedCount++ < references.most) {
      undefinedTargets.push_back(undefinedJumpWarning(nameAt(references.names, jump.name), jump.line));
    }
  }
  std::vector<Warning> redefinedLabels;
  for (const Redefinition& again : references.redefinitions) {
    redefinedLabels.push_back(redefinedLabelWarning(nameAt(references.names, again.name), again.line, again.earlier));
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
  addLabelProblems(std::move(undefinedTargets), std::move(redefinedLabels), warnings);
}

}  // namespace brindle
