// brindle-check's report on a story's versions, one after another, each as
// checkScript makes it of the version's whole text: the segments are cut at
// labels, where no edit moves them, so that a piece's findings hold for
// every version that shares the piece. Each version's label pieces not
// checked before are parsed (on threads where many are), the rest taken as
// they were; the declarations are parsed again where the variables change.
// A StoryChecker is used by one thread at a time.
#pragma once

#include <atomic>
#include <memory>
#include <unordered_map>
#include <vector>

#include "check.h"
#include "hints.h"
#include "names.h"
#include "segment.h"
#include "story.h"

namespace brindle::lsp {

class StoryChecker {
 public:
  // The report on `story`. With `stopped`, the check looks at it between
  // pieces and throws check::CheckStopped once it is set; what it found so
  // far it keeps. Throws std::bad_alloc when memory runs out.
  check::CheckReport check(const Story& story, const std::atomic<bool>* stopped = nullptr);

 private:
  // What a piece's table holds that Lua refuses, at lines of the piece.
  struct Found {
    std::vector<check::SegmentFinding> findings;
    std::vector<std::vector<check::Hint>> hints;  // of each
  };
  struct Kept {
    std::shared_ptr<const Piece> piece;  // held, so that no other piece takes its address
    std::shared_ptr<const Found> found;
  };

  std::unordered_map<const Piece*, Kept> found_;
  // The declarations checked last, and what Lua refused of them: each
  // finding's line is the index of its variable, from 1.
  NameTable declared_;
  std::vector<check::SegmentFinding> declarationFindings_;
  bool declarationsChecked_ = false;
};

}  // namespace brindle::lsp
