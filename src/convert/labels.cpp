#include "labels.h"

#include <algorithm>
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

}  // namespace

void addLabel(LabelReferences& references, std::string_view name, std::size_t line) {
  const std::size_t index = internName(references.names, name);
  Defined& defined = definedEntry(references, index);
  if (defined.first == 0) {
    defined = {line, line};
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

LabelProblemCounts findLabelProblems(const std::vector<Stretch>& stretches,
                                     std::vector<Warning>& undefinedTargets,
                                     std::vector<Warning>& redefinedLabels) {
  LabelProblemCounts counts;
  if (stretches.empty()) return counts;
  const std::size_t most = stretches.front().references->most;
  // Where stretch `k` defines the name, or kNoName.
  const auto indexIn = [&](std::size_t k, std::string_view name) {
    const LabelReferences& references = *stretches[k].references;
    const std::size_t index = findName(references.names, name);
    return index != kNoName && isDefined(references, index) ? index : kNoName;
  };
  const auto message = [](std::string_view name, std::string_view before, std::string_view after) {
    std::string text(before);
    text.append(1, '"').append(name).append(1, '"').append(after);
    return text;
  };

  // Labels defined again: each stretch's own, and its first definitions of
  // names that a stretch before it defined last at `earlier`.
  for (std::size_t k = 0; k < stretches.size() && redefinedLabels.size() < most; ++k) {
    const LabelReferences& references = *stretches[k].references;
    const std::size_t shift = stretches[k].lineFeedsBefore;
    std::vector<Redefinition> found;  // lines of the script; `name` in this stretch
    for (const Redefinition& again : references.redefinitions) {
      found.push_back({again.line + shift, again.earlier + shift, again.name});
    }
    for (std::size_t name = 0; name < references.defined.size(); ++name) {
      if (!isDefined(references, name)) continue;
      const std::string_view text = variableName(references.names, name);
      for (std::size_t j = k; j-- > 0;) {
        const std::size_t there = indexIn(j, text);
        if (there == kNoName) continue;
        found.push_back({references.defined[name].first + shift,
                         stretches[j].references->defined[there].last + stretches[j].lineFeedsBefore, name});
        break;
      }
    }
    std::sort(found.begin(), found.end(),
              [](const Redefinition& a, const Redefinition& b) { return a.line < b.line; });
    for (const Redefinition& again : found) {
      if (redefinedLabels.size() >= most) break;
      redefinedLabels.push_back(
          {again.line, message(variableName(references.names, again.name), "label ",
                               " is defined again; this table replaces the one of line " +
                                   std::to_string(again.earlier) + " in LABELS")});
    }
  }
  for (std::size_t k = 0; k < stretches.size(); ++k) {
    const LabelReferences& references = *stretches[k].references;
    counts.redefinedLabels += references.redefinitionCount;
    for (std::size_t name = 0; name < references.defined.size(); ++name) {
      if (!isDefined(references, name)) continue;
      const std::string_view text = variableName(references.names, name);
      for (std::size_t j = 0; j < k; ++j) {
        if (indexIn(j, text) != kNoName) {
          ++counts.redefinedLabels;
          break;
        }
      }
    }
  }

  // Jumps to names that no stretch defines.
  for (std::size_t k = 0; k < stretches.size(); ++k) {
    const LabelReferences& references = *stretches[k].references;
    for (const LabelReferences::Jump& jump : references.jumps) {
      if (isDefined(references, jump.name)) continue;
      const std::string_view name = variableName(references.names, jump.name);
      bool defined = false;
      for (std::size_t j = 0; j < stretches.size() && !defined; ++j) {
        defined = j != k && indexIn(j, name) != kNoName;
      }
      if (defined) continue;
      if (counts.undefinedTargets++ < most) {
        undefinedTargets.push_back({jump.line + stretches[k].lineFeedsBefore,
                                    message(name, "jump_out leads to ", ", which no label of this script defines")});
      }
    }
  }
  return counts;
}

}  // namespace brindle
