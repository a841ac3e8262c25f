// brindle-check's report on a story's versions, each as checkScript makes
// it of the version's whole text. The segments are cut at labels, where no
// edit moves them, so that what the check finds in a piece holds for every
// version that holds the piece: it is found once, kept with the piece, at
// lines counted from the piece, and a version's report refers to it. Each
// version's pieces not checked before are parsed (on threads where there
// are many); the declarations are parsed again where the variables change.
// A StoryChecker is used by one thread at a time; a report, once made, is
// only read, from any.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "check.h"
#include "hints.h"
#include "names.h"
#include "segment.h"
#include "story.h"

namespace brindle::lsp {

// What the check found in a piece's table, at lines of the piece: each
// finding's message as it is at those lines, and where the message names a
// line, the facts to name it at the script's.
struct PieceCheck {
  std::vector<check::Finding> findings;
  std::vector<check::SegmentFinding> facts;  // of the findings whose message names a line
  std::vector<std::uint32_t> namesLine;      // those findings, by index, ascending
};

// The report on one version: its findings in checkScript's order, each a
// piece's or one of the story as a whole (a declaration's, a label
// problem's), and its warnings.
struct StoryReport {
  std::shared_ptr<const Story> story;
  std::vector<std::shared_ptr<const PieceCheck>> checks;  // of each piece that has one
  static constexpr std::uint32_t kWhole = UINT32_MAX;
  struct Ref {
    std::uint32_t piece = kWhole;  // or kWhole for `whole`
    std::uint32_t finding = 0;
  };
  std::vector<Ref> order;
  std::vector<check::Finding> whole;
  std::vector<Warning> warnings;

  std::size_t size() const { return order.size(); }
  // Finding `k` at the script's lines.
  check::Finding finding(std::size_t k) const;
  // Its line; the finding as it was found, at lines of its piece; and
  // whether its message names a line, so that only finding() gives it.
  std::size_t lineOf(std::size_t k) const;
  const check::Finding& raw(std::size_t k) const;
  bool namesLine(std::size_t k) const;
};

class StoryChecker {
 public:
  // The report on `story`. With `stopped`, the check looks at it between
  // pieces and throws check::CheckStopped once it is set; what it found in
  // the pieces so far is kept. Throws std::bad_alloc when memory runs out.
  StoryReport check(const std::shared_ptr<const Story>& story, const std::atomic<bool>* stopped = nullptr);

 private:
  // The declarations checked last, and what Lua refused of them: each
  // finding's line is the index of its variable, from 1.
  std::shared_ptr<const NameTable> declared_;
  std::vector<check::SegmentFinding> declarationFindings_;
};

}  // namespace brindle::lsp
