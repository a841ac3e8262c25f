// What a stretch of a script says about its labels, for the warnings about
// jumps to labels that are not there and labels defined twice. Kept small:
// every name is stored once, in a compact table; a label defined again is
// kept only among the first of them that a report shows, with a count of
// all; a jump is kept only while no label before it has its name. Stretches
// converted apart are looked at together, in order. A LabelReferences is used
// by one thread at a time.
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
  std::vector<Redefinition> redefinitions;  // the first `most`, in line order
  std::size_t redefinitionCount = 0;
  std::vector<Jump> jumps;  // those no label before them defined, in line order
};

// A `label` statement defining `name` at `line`; lines come in order, from 1.
void addLabel(LabelReferences& references, std::string_view name, std::size_t line);

// A jump_out to `target` at `line`; lines come in order, from 1.
void addJump(LabelReferences& references, std::string_view target, std::size_t line);

// A stretch's references and where it stands in the script: its line 1 is
// the script's line `lineFeedsBefore` + 1.
struct Stretch {
  const LabelReferences* references = nullptr;
  std::size_t lineFeedsBefore = 0;
};

// How many of each kind findLabelProblems found.
struct LabelProblemCounts {
  std::size_t undefinedTargets = 0;
  std::size_t redefinedLabels = 0;
};

// Puts in the vectors, in line order, the first jumps to labels that no
// stretch defines and the first labels defined again, anywhere in the
// stretches, as many as the first stretch's `most`, with their messages, and
// counts them all. The stretches are in order. Each stretch's names are
// looked up in the others' tables, none joined: a name costs a lookup in each
// other stretch, and nothing is copied.
LabelProblemCounts findLabelProblems(const std::vector<Stretch>& stretches,
                                     std::vector<Warning>& undefinedTargets,
                                     std::vector<Warning>& redefinedLabels);

}  // namespace brindle
