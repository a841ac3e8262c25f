// The label references of a script and the warnings made of them: labels
// defined again, jumps to labels no statement defines, the counts past the
// warnings shown, and the same warnings when the script's lines are looked
// at in stretches joined afterwards.
#include "labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parts.h"

namespace brindle {
namespace {

// A label statement or a jump, on the line of its place in the list (from 1).
struct Event {
  bool label;
  std::string name;
};

std::vector<std::string> warningsOf(const LabelReferences& references) {
  std::vector<Warning> warnings;
  warnOfLabelProblems(references, warnings);
  std::vector<std::string> lines;
  for (const Warning& w : warnings) lines.push_back(std::to_string(w.line) + ": " + w.message);
  return lines;
}

// The references of events [from, to), numbered from the stretch's start.
LabelReferences referencesOf(const std::vector<Event>& events, std::size_t from, std::size_t to,
                             std::size_t most) {
  LabelReferences references(most);
  for (std::size_t k = from; k < to; ++k) {
    const std::size_t line = k - from + 1;
    if (events[k].label) {
      addLabel(references, events[k].name, line);
    } else {
      addJump(references, events[k].name, line);
    }
  }
  return references;
}

TEST(LabelReferencesTest, WarningsWholeAndJoinedFromStretches) {
  const auto L = [](const char* name) { return Event{true, name}; };
  const auto J = [](const char* name) { return Event{false, name}; };
  struct Case {
    const char* name;
    std::vector<Event> events;
    std::size_t most;
    std::vector<std::string> warnings;
  };
  const std::vector<Case> cases = {
      {"jumps to labels before and after them", {J("b"), L("a"), J("a"), L("b")}, 100, {}},
      {"names match exactly", {L("a"), J("A"), J("a:"), L("")},
       100,
       {"2: jump_out leads to \"A\", which no label of this script defines",
        "3: jump_out leads to \"a:\", which no label of this script defines"}},
      {"each redefinition names the definition it replaces", {L("a"), L("b"), L("a"), J("c"), L("a")},
       100,
       {"3: label \"a\" is defined again; this table replaces the one of line 1 in LABELS",
        "4: jump_out leads to \"c\", which no label of this script defines",
        "5: label \"a\" is defined again; this table replaces the one of line 3 in LABELS"}},
      {"past the most shown, the rest is counted on the last shown line",
       {J("x"), L("a"), J("y"), L("a"), J("z"), L("a"), L("a")},
       2,
       {"1: jump_out leads to \"x\", which no label of this script defines",
        "3: jump_out leads to \"y\", which no label of this script defines",
        "3: 1 more jumps to labels this script does not define are not shown; brindle-check "
        "lists them all",
        "4: label \"a\" is defined again; this table replaces the one of line 2 in LABELS",
        "6: label \"a\" is defined again; this table replaces the one of line 4 in LABELS",
        "6: 1 more labels defined again are not shown; brindle-check lists them all"}},
  };
  for (const Case& c : cases) {
    const std::size_t n = c.events.size();
    EXPECT_EQ(warningsOf(referencesOf(c.events, 0, n, c.most)), c.warnings) << c.name;
    // Cut into three stretches at every pair of points and joined in order.
    for (std::size_t first = 0; first <= n; ++first) {
      for (std::size_t second = first; second <= n; ++second) {
        LabelReferences joined = referencesOf(c.events, 0, first, c.most);
        joinLabelReferences(joined, referencesOf(c.events, first, second, c.most), first);
        joinLabelReferences(joined, referencesOf(c.events, second, n, c.most), second);
        EXPECT_EQ(warningsOf(joined), c.warnings)
            << c.name << ", cut before events " << first << " and " << second;
      }
    }
  }
}

}  // namespace
}  // namespace brindle
