// What a script says about its labels, for the warnings about jumps to
// labels that are not there and labels defined twice. Kept small: every
// name is stored once, in a compact table; of the labels defined again only
// the first `most` are kept, with a count of all; a jump is kept only while
// no label before it has its name. Lines come in order. A LabelReferences is
// a plain value, used by one thread at a time.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "names.h"
#include "records.h"

namespace brindle {

struct LabelReferences {
  // Of the labels defined again, the first `most` are kept.
  explicit LabelReferences(std::size_t most = static_cast<std::size_t>(-1)) : most(most) {}

  struct Defined {
    std::size_t first = 0;  // where the name is defined first; 0: nowhere
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
  NameTable names;                          // every label and target met, once
  std::vector<Defined> defined;             // by name; shorter when the last names are targets
  std::vector<Redefinition> redefinitions;  // the first `most`, in line order
  std::size_t redefinitionCount = 0;
  std::vector<Jump> jumps;  // those no label before them defined, in line order
};

// A `label` statement defining `name` at `line`.
void addLabel(LabelReferences& references, std::string_view name, std::size_t line);

// A jump_out to `target` at `line`.
void addJump(LabelReferences& references, std::string_view target, std::size_t line);

// The warning of a jump_out at `line` to `target`, which no label defines.
Warning undefinedJumpWarning(std::string_view target, std::size_t line);

// The warning of a label `name` defined again at `line`, whose table
// replaces the one of line `earlier`.
Warning redefinedLabelWarning(std::string_view name, std::size_t line, std::size_t earlier);

// Joins the label problems, each kind in line order, to `warnings`, which
// are in line order: a stable sort, so that the warnings of a line keep
// theirs, then the jumps, then the labels defined again.
void addLabelProblems(std::vector<Warning> undefinedJumps, std::vector<Warning> redefinedLabels,
                      std::vector<Warning>& warnings);

// Adds to `warnings` the jumps to labels the script does not define and the
// labels defined again, the first `references.most` of each kind with one
// more warning that counts the rest, as addLabelProblems does.
void warnOfLabelProblems(const LabelReferences& references, std::vector<Warning>& warnings);

}  // namespace brindle
