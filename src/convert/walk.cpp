#include "walk.h"

namespace brindle {

std::optional<Warning> beforeLabelsWarning(const WalkEnd& end) {
  if (end.beforeLabels == 0) return std::nullopt;
  const bool one = end.beforeLabels == 1;
  return Warning{end.firstBeforeLabels,
                 std::to_string(end.beforeLabels) + (one ? " statement" : " statements") +
                     " before the first label " + (one ? "belongs" : "belong") + " to no label and " +
                     (one ? "was" : "were") + " left out of the output"};
}

}  // namespace brindle
