// The normalisation every line of a script takes before any statement rule:
// each run of four blanks becomes a tab, scanning left to right, and a
// blank goes behind every "+=" and "-=". A plain function; any thread may
// call it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "triggers.h"

namespace brindle {

// Whether `c`, following `before`, ends a "+=" or a "-=": the one test of the
// two operators that the normalisation and the expansion of updates share.
constexpr bool endsUpdate(char before, char c) {
  static_assert(kAddTo.size() == 2 && kSubtractFrom.size() == 2 && kAddTo[1] == kSubtractFrom[1]);
  return c == kAddTo[1] && (before == kAddTo[0] || before == kSubtractFrom[0]);
}

// What the normalisation tells of the line it wrote: the triggers of the
// normalised line, those scanned and those a blank put behind "+=" may form
// (" (" before a parenthesis), and how many tabs it begins with.
struct Normalised {
  TriggerSet triggers = 0;
  std::size_t leadingTabs = 0;
};

// The blanks `raw` begins with: every four of them become a tab. Inline:
// every line of a script is counted.
inline std::size_t leadingBlanks(std::string_view raw) {
  constexpr char kBlank = kFourBlanks[0];
  // Eight bytes at a time while they last: the first that is no blank is
  // the lowest byte of the difference that is not zero, in memory order.
  constexpr std::uint64_t kEightBlanks = 0x0101010101010101u * static_cast<unsigned char>(kBlank);
  std::size_t leading = 0;
  while (raw.size() - leading >= sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, raw.data() + leading, sizeof word);
    if (const std::uint64_t other = word ^ kEightBlanks; other != 0) {
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(other) : std::countl_zero(other);
      return leading + static_cast<std::size_t>(bit) / 8;
    }
    leading += sizeof word;
  }
  while (leading < raw.size() && raw[leading] == kBlank) ++leading;
  return leading;
}

// Writes into `line` what the normalisation makes of `raw`. `triggers` are
// those scanned in the line (kEveryTrigger when not known); without a blank
// run or an update only its leading blanks change. `leading` is what
// leadingBlanks(raw) gives, where the caller knows it.
inline constexpr std::size_t kLeadingNotCounted = static_cast<std::size_t>(-1);
Normalised normaliseLine(std::string_view raw, TriggerSet triggers, std::string& line,
                         std::size_t leading = kLeadingNotCounted);

// Where byte `at` of the line the normalisation makes of `raw` stands in
// `raw`: the offset of the byte it was made from (for a tab made of four
// blanks, the first of them; for a blank put behind "+=" or "-=", the byte
// after the operator); raw.size() for `at` past the end. Walks the line
// once; for a reader that needs a place or two in a line.
std::size_t rawOffsetOf(std::string_view raw, std::size_t at);

}  // namespace brindle
