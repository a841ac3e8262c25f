// brindle-check's report on a script: what of its Lua will not load, and
// where in the script it comes from (checker.h), the jumps to labels that
// are not there and the labels defined twice, all of them, and brindle's
// other warnings. No file I/O.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "checker.h"
#include "records.h"

namespace brindle::check {

struct CheckReport {
  std::vector<Warning> warnings;  // those brindle prints but the label problems, in its order
  std::vector<Finding> findings;  // sorted by line; the order found within a line
};

// Checks `script`, the text that scriptText finds in a file. Throws
// std::bad_alloc when memory runs out.
CheckReport checkScript(std::string_view script);

// The closing line: how many lines will not load, counted by kind, or that
// all of them will.
std::string summaryLine(const std::vector<Finding>& findings);

}  // namespace brindle::check
