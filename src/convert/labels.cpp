#include "labels.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace brindle {
namespace {

using Redefinition = LabelReferences::Redefinition;

bool byLine(const Redefinition& a, const Redefinition& b) {
  return std::tie(a.line, a.name) < std::tie(b.line, b.name);
}

}  // namespace

void addLabel(LabelReferences& references, std::string_view name, std::size_t line) {
  auto at = references.defined.find(name);
  if (at == references.defined.end()) {
    at = references.defined.emplace(std::string(name), LabelReferences::Defined{line, line}).first;
    references.definedOrder.push_back(&at->first);
    return;
  }
  if (references.redefinitionCount++ < references.most) {
    references.redefinitions.push_back({line, at->second.last, std::string(name)});
  }
  at->second.last = line;
}

void addJump(LabelReferences& references, std::string_view target, std::size_t line) {
  // A label defined before stays defined: such a jump is never a problem.
  if (references.defined.find(target) != references.defined.end()) return;
  auto at = references.jumps.find(target);
  if (at == references.jumps.end()) at = references.jumps.emplace(std::string(target), LabelReferences::Jumps()).first;
  if (at->second.count++ < references.most) at->second.lines.push_back(line);
}

void appendReferences(LabelReferences& earlier, const LabelReferences& later,
                      std::size_t lineFeedsBefore) {
  // The later stretch's redefinitions: its own, and its first definitions
  // of names the earlier one defined; those kept are the first by line.
  std::vector<Redefinition> found;
  for (const Redefinition& again : later.redefinitions) {
    found.push_back({again.line + lineFeedsBefore, again.earlier + lineFeedsBefore, again.name});
  }
  std::size_t count = later.redefinitionCount;
  for (const std::string* name : later.definedOrder) {
    const LabelReferences::Defined& there = later.defined.find(*name)->second;
    const LabelReferences::Defined shifted{there.first + lineFeedsBefore, there.last + lineFeedsBefore};
    const auto [at, first] = earlier.defined.try_emplace(*name, shifted);
    if (first) {
      earlier.definedOrder.push_back(&at->first);
      continue;
    }
    found.push_back({shifted.first, at->second.last, *name});
    ++count;
    at->second.last = shifted.last;
  }
  std::sort(found.begin(), found.end(), byLine);
  for (Redefinition& again : found) {
    if (earlier.redefinitions.size() >= earlier.most) break;
    earlier.redefinitions.push_back(std::move(again));
  }
  earlier.redefinitionCount += count;

  // Jumps still without a target, unless the later stretch defines it.
  for (const auto& [name, jumps] : later.jumps) {
    if (later.defined.find(name) != later.defined.end()) continue;
    if (earlier.defined.find(name) != earlier.defined.end()) continue;
    LabelReferences::Jumps& joined = earlier.jumps[name];
    for (const std::size_t line : jumps.lines) {
      if (joined.lines.size() >= earlier.most) break;
      joined.lines.push_back(line + lineFeedsBefore);
    }
    joined.count += jumps.count;
  }
}

LabelProblemCounts findLabelProblems(const LabelReferences& references,
                                     std::vector<Warning>& undefinedTargets,
                                     std::vector<Warning>& redefinedLabels) {
  LabelProblemCounts counts;
  counts.redefinedLabels = references.redefinitionCount;
  for (const Redefinition& again : references.redefinitions) {
    redefinedLabels.push_back(
        {again.line, "label \"" + again.name + "\" is defined again; this table replaces the one of line " +
                         std::to_string(again.earlier) + " in LABELS"});
  }
  std::vector<std::pair<std::size_t, const std::string*>> undefined;  // a jump's line and target
  for (const auto& [name, jumps] : references.jumps) {
    if (references.defined.find(name) != references.defined.end()) continue;
    counts.undefinedTargets += jumps.count;
    for (const std::size_t line : jumps.lines) undefined.emplace_back(line, &name);
  }
  std::sort(undefined.begin(), undefined.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : *a.second < *b.second;
  });
  if (undefined.size() > references.most) undefined.resize(references.most);
  for (const auto& [line, name] : undefined) {
    undefinedTargets.push_back(
        {line, "jump_out leads to \"" + *name + "\", which no label of this script defines"});
  }
  return counts;
}

}  // namespace brindle
