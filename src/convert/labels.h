// What a stretch of a script says about its labels, for the warnings about
// jumps to labels that are not there and labels defined twice. Kept small: a
// name defined many times, or jumped to many times, is stored once, and of
// each kind of problem only the first lines a report shows are kept, with a
// count of all. Stretches converted apart are joined in order. A
// LabelReferences is used by one thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "records.h"

namespace brindle {

// Lookup by std::string_view in maps keyed by std::string.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct LabelReferences {
  // Of each kind of problem, the lines kept: the first so many.
  explicit LabelReferences(std::size_t most = static_cast<std::size_t>(-1)) : most(most) {}

  struct Defined {
    std::size_t first = 0;  // where the name is defined first
    std::size_t last = 0;   // and last
  };
  // A label defined again, at `line`; its table replaces the one of `earlier`.
  struct Redefinition {
    std::size_t line = 0;
    std::size_t earlier = 0;
    std::string name;
  };
  // The jumps to a name that no label before them defined.
  struct Jumps {
    std::vector<std::size_t> lines;  // the first `most`
    std::size_t count = 0;
  };

  std::size_t most;
  std::unordered_map<std::string, Defined, NameHash, std::equal_to<>> defined;
  std::vector<const std::string*> definedOrder;  // the names of `defined`, as first defined
  std::vector<Redefinition> redefinitions;       // the first `most`, in line order
  std::size_t redefinitionCount = 0;
  std::unordered_map<std::string, Jumps, NameHash, std::equal_to<>> jumps;
};

// A `label` statement defining `name` at `line`; lines come in order.
void addLabel(LabelReferences& references, std::string_view name, std::size_t line);

// A jump_out to `target` at `line`; lines come in order.
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

// Puts in the vectors, in line order, the kept lines of every jump_out that
// leads to a label the stretch does not define and of every label defined
// again, with their messages, and counts them all.
LabelProblemCounts findLabelProblems(const LabelReferences& references,
                                     std::vector<Warning>& undefinedTargets,
                                     std::vector<Warning>& redefinedLabels);

}  // namespace brindle
