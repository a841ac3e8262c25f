// The lines of a script, found by number without an index of every line: a
// mark is kept every so many lines as the search goes, so that asking for
// lines in about their order costs about one walk over the script, and
// asking for an earlier line costs at most the lines from the mark before
// it. Used by one thread at a time; the script must outlive it.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "scan.h"

namespace brindle::check {

class ScriptLineFinder {
 public:
  explicit ScriptLineFinder(std::string_view script) : script_(script), marks_{0} {}

  // Line `line` (from 1) as the conversion reads it; empty past the last.
  std::string_view line(std::size_t line) {
    if (line == 0) return {};
    const std::size_t index = line - 1;
    if (index < reached_) {
      const std::size_t mark = std::min(index / kEvery, marks_.size() - 1);
      reached_ = mark * kEvery;
      at_ = marks_[mark];
    }
    while (reached_ < index && at_ <= script_.size()) {
      const void* feed = std::memchr(script_.data() + at_, '\n', script_.size() - at_);
      at_ = feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - script_.data()) + 1
                 : script_.size() + 1;
      ++reached_;
      if (reached_ % kEvery == 0 && reached_ / kEvery == marks_.size()) marks_.push_back(at_);
    }
    if (at_ > script_.size()) return {};
    return lineAt(script_, at_);
  }

 private:
  static constexpr std::size_t kEvery = 1024;
  std::string_view script_;
  std::vector<std::size_t> marks_;  // where line k * kEvery (from 0) starts
  std::size_t reached_ = 0;         // the line (from 0) that starts at `at_`
  std::size_t at_ = 0;
};

}  // namespace brindle::check
