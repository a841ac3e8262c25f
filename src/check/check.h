// brindle-check's report on a script: what of its Lua will not load and
// where in the script it comes from (checker.h), every jump to a label that
// is not there and every label defined twice, the quoted texts the
// conversion changes, and brindle's other warnings. The script is
// converted as brindle converts it, in the flat layout, and its Lua checked
// as it is written, so that no more than a window of it is kept. No file
// I/O.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "checker.h"
#include "records.h"

namespace brindle::check {

struct CheckReport {
  // brindle's warnings, those about quoted texts the conversion changes
  // among them, less the label problems, which are findings here; in the
  // order brindle has them.
  std::vector<Warning> warnings;
  std::vector<Finding> findings;  // sorted by line; the order found within a line
};

// Thrown by checkScript when it is told to stop.
struct CheckStopped {};

// Checks `script`, the text that scriptText finds in a file. With
// `stopped`, the check looks at it between pieces of the text and throws
// CheckStopped once it is set: a newer text is waiting. Throws
// std::bad_alloc when memory runs out.
CheckReport checkScript(std::string_view script, const Batches& batches = {},
                        const std::atomic<bool>* stopped = nullptr);

// Hands the report's warnings and findings to `onWarning(const Warning&)`
// and `onFinding(const Finding&)` in the order they are printed: by line, a
// warning before a finding of the same line.
template <typename OnWarning, typename OnFinding>
void inPrintedOrder(const CheckReport& report, OnWarning&& onWarning, OnFinding&& onFinding) {
  auto warning = report.warnings.begin();
  const auto warningsTo = [&](std::size_t line) {
    for (; warning != report.warnings.end() && warning->line <= line; ++warning) onWarning(*warning);
  };
  for (const Finding& finding : report.findings) {
    warningsTo(finding.line);
    onFinding(finding);
  }
  warningsTo(static_cast<std::size_t>(-1));
}

// A finding's message as it is printed: what is wrong, then the fix where
// there is one; appended to `out`, or made.
void appendMessage(std::string& out, const Finding& finding);
std::string messageOf(const Finding& finding);

// The closing line: how many lines will not load, counted by kind, or that
// all of them will.
std::string summaryLine(const std::vector<Finding>& findings);

}  // namespace brindle::check
