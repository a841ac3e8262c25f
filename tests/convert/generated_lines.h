// Lines and scripts made of the texts the rules look for (every entry of
// kTriggers), cut and joined in every way with blanks, tabs, line-end
// bytes and ordinary words, for the tests that compare two ways of getting
// one result. Deterministic: the same seed gives the same lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "triggers.h"

namespace brindle::test {

class LineMaker {
 public:
  explicit LineMaker(std::uint64_t seed) : state_(seed) {}

  // A number in [0, bound).
  std::size_t below(std::size_t bound) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::size_t>((state_ >> 33) % bound);
  }

  // Up to 13 pieces: whole trigger texts, their halves, and layout.
  std::string line() {
    std::string line;
    const std::size_t pieces = below(14);
    for (std::size_t i = 0; i < pieces; ++i) line.append(piece());
    return line;
  }

  // A line that starts like a statement: indentation, then a trigger or a
  // word, then a few words with blanks between them.
  std::string statement() {
    std::string line(below(4) == 0 ? below(9) : 4 * below(3), ' ');
    const std::size_t words = 1 + below(5);
    for (std::size_t w = 0; w < words; ++w) {
      if (w > 0) line.append(below(6) == 0 ? "  " : " ");
      line.append(piece());
    }
    return line;
  }

  // `lines` lines, each a statement, a `label` line or a generated line,
  // ended by a line feed or a carriage return and a line feed.
  std::string script(std::size_t lines) {
    std::string script;
    for (std::size_t i = 0; i < lines; ++i) {
      const std::size_t roll = below(10);
      if (roll == 0) {
        script += below(4) == 0 ? "label R28:" : "label l" + std::to_string(i) + ":";
      } else if (roll < 6) {
        script += statement();
      } else {
        script += line();
      }
      script += below(5) == 0 ? "\r\n" : "\n";
    }
    return script;
  }

 private:
  std::string piece() {
    static const std::vector<std::string> kLayout = {
        " ", "  ", "\t", "\r", "\v", "x", "é", "=", "+", "-", "(", ";", ":", "\"", "\xEF\xBB\xBF"};
    const std::size_t choice = below(std::size(kTriggers) + kLayout.size());
    if (choice >= std::size(kTriggers)) return kLayout[choice - std::size(kTriggers)];
    const std::string_view text = kTriggers[choice];
    switch (below(4)) {
      case 0: return std::string(text.substr(0, text.size() / 2));
      case 1: return std::string(text.substr(text.size() / 2));
      default: return std::string(text);
    }
  }

  std::uint64_t state_;
};

}  // namespace brindle::test
