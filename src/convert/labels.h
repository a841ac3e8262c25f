// What a stretch of a script says about its labels, for the warnings about
// jumps to labels that are not there and labels defined twice. Kept small:
// every name is stored once, in a compact table; a label defined again is
// kept only among the first of them that a report shows, with a count of
// all; a jump is kept only while no label before it has its name. Stretches
// converted apart are joined in order. A LabelReferences is used by one
// thread at a time.
#pragma once

#include <cstddef>
#include <vector>

#include "records.h"
#include "variables.h"

namespace brindle {

struct LabelReferences {
  // Of the labels defined again, the first `most` are kept.
  explicit LabelReferences(std::size_t most = static_cast<std::size_t>(-1)) : most(most) {}

  struct Defined {
    std::size_t first = 0;  // where the name is defined first; 0: not in this stretch
    std::size_t last = 0;   // and last
  };
  // A label defined again, at `line`; its table replaces the one of `earlier`.
  struct Redefinition {
    std::size_t line = 0;
    std::size_t earlier = 0;
    std::size_t name = 0;  // in `names`
  };
  struct Jump {
    std::size_t line = 0;
    std::size_t name = 0;  // in `names`
  };

  std::size_t most;
  VariableNames names;                      // every label and target met, once
  std::vector<Defined> defined;             // by name; shorter when the last names are targets
  std::vector<std::size_t> definedOrder;    // the names defined, in the order first defined
  std::vector<Redefinition> redefinitions;  // the first `most`, in line order
  std::size_t redefinitionCount = 0;
  std::vector<Jump> jumps;  // those no label before them defined, in line order
};

// A `label` statement defining `name` at `line`; lines come in order, from 1.
void addLabel(LabelReferences& references, std::string_view name, std::size_t line);

// A jump_out to `target` at `line`; lines come in order, from 1.
void addJump(LabelReferences& references, std::string_view target, std::size_t line);

// Adds `later`, a stretch that follows `earlier` and counts its lines from
// its own start, whose first line is line `lineFeedsBefore` + 1 of `earlier`.
void appendReferences(LabelReferences& earlier, const LabelReferences& later,
                      std::size_t lineFeedsBefore);

// How many of each kind findLabelProblems found.
struct LabelProblemCounts {
  std::size_t undefinedTargets = 0;
  std::size_t redefinedLabels = 0;
};

// Puts in the vectors, in line order, the first `most` jumps to labels the
// stretch does not define and the labels defined again that were kept, with
// their messages, and counts them all.
LabelProblemCounts findLabelProblems(const LabelReferences& references,
                                     std::vector<Warning>& undefinedTargets,
                                     std::vector<Warning>& redefinedLabels);

}  // namespace brindle
