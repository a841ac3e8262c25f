#include "line.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "byte_vectors.h"
#include "string_utils.h"
#include "triggers.h"

namespace brindle {
namespace {

// The first bytes of a scanned text that the scan compares: at most three,
// enough to tell the texts apart from ordinary words. A text that holds
// another scanned text of its group needs no pattern of its own
// ("is_h=True" holds "True"), and four blanks are matched by a pattern of
// their own below.
struct Pattern {
  char bytes[3] = {};
  std::size_t size = 0;
  TriggerSet sets = 0;
};

constexpr bool holdsAnotherScannedText(const ScannedText& scanned) {
  for (const ScannedText& other : kScannedTexts) {
    if (other.text != scanned.text && other.sets == scanned.sets &&
        scanned.text.find(other.text) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

constexpr bool needsPattern(const ScannedText& scanned) {
  return scanned.text != kFourBlanks && !holdsAnotherScannedText(scanned);
}

constexpr std::size_t kPatternCount = [] {
  std::size_t count = 0;
  for (const ScannedText& scanned : kScannedTexts) count += needsPattern(scanned);
  return count;
}();

constexpr std::array<Pattern, kPatternCount> kPatterns = [] {
  std::array<Pattern, kPatternCount> patterns{};
  std::size_t n = 0;
  for (const ScannedText& scanned : kScannedTexts) {
    if (!needsPattern(scanned)) continue;
    patterns[n].size = std::min<std::size_t>(scanned.text.size(), 3);
    for (std::size_t i = 0; i < patterns[n].size; ++i) patterns[n].bytes[i] = scanned.text[i];
    patterns[n].sets = scanned.sets;
    ++n;
  }
  return patterns;
}();

constexpr std::size_t kStep = kVectorBytes;  // starts looked at per window
constexpr std::size_t kWindow = kStep + 2;   // bytes a window reads

template <std::size_t I>
LaneVector patternLanes(const ByteVector& a, const ByteVector& b, const ByteVector& c) {
  constexpr Pattern pattern = kPatterns[I];
  LaneVector hits = a == static_cast<unsigned char>(pattern.bytes[0]);
  if constexpr (pattern.size > 1) hits &= b == static_cast<unsigned char>(pattern.bytes[1]);
  if constexpr (pattern.size > 2) hits &= c == static_cast<unsigned char>(pattern.bytes[2]);
  return hits & static_cast<signed char>(pattern.sets);
}

template <std::size_t... I>
LaneVector textLanes(const ByteVector& a, const ByteVector& b, const ByteVector& c,
                     std::index_sequence<I...>) {
  return (patternLanes<I>(a, b, c) | ...);
}

// The trigger sets of the kStep starts of the window at `p`, one byte each.
// Four blanks are matched as two blanks after a byte that is neither a blank
// nor a line feed: blanks that lead a line are its indentation, which every
// line turns into tabs anyway.
LaneHalves windowLanes(const char* p) {
  ByteVector a;
  ByteVector b;
  ByteVector c;
  loadBytes(a, p);
  loadBytes(b, p + 1);
  loadBytes(c, p + 2);
  constexpr unsigned char kBlank = kFourBlanks[0];
  const LaneVector blankRuns = (a != kBlank) & (a != '\n') & (b == kBlank) & (c == kBlank);
  return halvesOf((blankRuns & static_cast<signed char>(kBlankRunTrigger)) |
                  textLanes(a, b, c, std::make_index_sequence<kPatternCount>()));
}

// The union of lanes [from, to) of a window, 0 <= from <= to <= kStep.
TriggerSet laneUnion(const LaneHalves& lanes, std::size_t from, std::size_t to) {
  if ((lanes.half[0] | lanes.half[1]) == 0) return 0;
  TriggerSet merged = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Lane k is byte k % 8 of half k / 8, counting from the low end.
    const auto below = [](std::size_t lane) {
      return lane >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * lane)) - 1;
    };
    std::uint64_t bits = (lanes.half[0] & below(to) & ~below(from)) |
                         (lanes.half[1] & below(to > 8 ? to - 8 : 0) & ~below(from > 8 ? from - 8 : 0));
    bits |= bits >> 32;
    bits |= bits >> 16;
    bits |= bits >> 8;
    merged = static_cast<TriggerSet>(bits & 0xFF);
  } else {
    for (std::size_t k = from; k < to; ++k) merged |= laneAt(lanes, k);
  }
  return merged;
}

// Whether anything after a line's leading blanks changes in the
// normalisation: a run of four blanks, "+=" or "-=".
bool needsNormalising(std::string_view rest) {
  constexpr char kBlank = kFourBlanks[0];
  static_assert(kAddTo[1] == kSubtractFrom[1]);
  std::size_t run = 0;  // blanks in a row so far
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    run = c == kBlank ? run + 1 : 0;
    if (run == kFourBlanks.size() ||
        (c == kAddTo[1] && i > 0 && (rest[i - 1] == kAddTo[0] || rest[i - 1] == kSubtractFrom[0]))) {
      return true;
    }
  }
  return false;
}

}  // namespace

namespace {

// The text of `input` from `begin` to the line feed at `lineFeed` (or to the
// end): a line without its line end, which takes a carriage return directly
// before a line feed with it.
std::string_view lineBefore(std::string_view input, std::size_t begin, std::size_t lineFeed) {
  if (lineFeed >= input.size()) return input.substr(begin);
  std::string_view line = input.substr(begin, lineFeed - begin);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

std::string_view lineAt(std::string_view input, std::size_t begin) {
  return lineBefore(input, begin, input.find('\n', begin));
}

void ScriptLines::scanWindow(std::size_t start) {
  window_ = start;
  char padded[kWindow] = {};
  const char* bytes = input_.data() + start;
  if (start + kWindow > input_.size()) {
    // Near the end the window reads a zero-padded copy; no pattern holds a
    // zero byte, and the four-blank pattern needs two blanks after its start.
    std::memcpy(padded, bytes, input_.size() - start);
    bytes = padded;
  }
  ByteVector a;
  loadBytes(a, bytes);
  lineFeeds_ = hitMask(a == static_cast<unsigned char>('\n'));
  lanes_ = windowLanes(bytes);
}

bool ScriptLines::next(std::string_view& line, TriggerSet& triggers) {
  if (done_) return false;
  const std::size_t begin = next_;
  triggers = 0;
  for (std::size_t at = begin;;) {
    if (at >= input_.size()) {
      line = lineBefore(input_, begin, input_.size());  // after the last line feed, possibly empty
      done_ = true;
      return true;
    }
    const std::size_t window = at - at % kStep;
    if (window != window_) scanWindow(window);
    const std::size_t from = at - window;
    const unsigned lineFeeds = lineFeeds_ >> from << from;
    if (lineFeeds == 0) {
      triggers |= laneUnion(lanes_, from, kStep);
      at = window + kStep;
      continue;
    }
    const std::size_t end = window + static_cast<std::size_t>(std::countr_zero(lineFeeds));
    triggers |= laneUnion(lanes_, from, end - window);
    line = lineBefore(input_, begin, end);
    next_ = end + 1;
    return true;
  }
}

TriggerSet normaliseLine(std::string_view raw, TriggerSet triggers, std::string& line) {
  constexpr char kBlank = kFourBlanks[0];
  constexpr std::size_t kTabBlanks = kFourBlanks.size();
  // Leading blanks, counted four at a time while they last.
  std::size_t leading = 0;
  while (raw.size() - leading >= kTabBlanks &&
         std::memcmp(raw.data() + leading, kFourBlanks.data(), kTabBlanks) == 0) {
    leading += kTabBlanks;
  }
  while (leading < raw.size() && raw[leading] == kBlank) ++leading;
  const std::string_view rest = raw.substr(leading);
  const std::size_t tabs = leading / kTabBlanks;
  const std::size_t blanks = leading % kTabBlanks;
  // A scanned "+=" or "-=" surely changes the line; a scanned pair of
  // blanks may be too short a run to.
  const bool changes = (triggers & kUpdateTrigger) != 0 ||
                       ((triggers & kBlankRunTrigger) != 0 && needsNormalising(rest));
  // Four blanks become one tab and take three bytes fewer; every "=" may
  // gain a blank behind it. So the rest grows to at most twice its length.
  line.resize(tabs + blanks + (changes ? 2 : 1) * rest.size());
  char* out = line.data();
  out = std::fill_n(out, tabs, '\t');
  out = std::fill_n(out, blanks, kBlank);
  if (!changes) {
    if (!rest.empty()) std::memcpy(out, rest.data(), rest.size());
    return triggers;
  }
  static_assert(kAddTo[1] == kSubtractFrom[1]);
  const char* const begin = rest.data();
  const char* const end = begin + rest.size();
  for (const char* in = begin; in != end; ++in) {
    const char c = *in;
    if (c == kBlank && in + 1 != end && in[1] == kBlank) {
      // A run of n blanks gives n / 4 tabs, then the n % 4 blanks left over.
      const char* const run = in;
      while (in + 1 != end && in[1] == kBlank) ++in;
      const auto length = static_cast<std::size_t>(in + 1 - run);
      out = std::fill_n(out, length / kTabBlanks, '\t');
      out = std::fill_n(out, length % kTabBlanks, kBlank);
      continue;
    }
    *out++ = c;
    // Blank runs turn into tabs, never into nothing, so a "+=" or "-=" of the
    // normalised line is one of the raw line too. The blank put behind it
    // may form a scanned text with the byte after it; turning blanks into
    // tabs forms none.
    if (c == kAddTo[1] && in != begin && (in[-1] == kAddTo[0] || in[-1] == kSubtractFrom[0])) {
      *out++ = kBlank;
      triggers |= formedByJoining(c, kBlank) | (in + 1 != end ? formedByJoining(kBlank, in[1]) : 0);
    }
  }
  line.resize(static_cast<std::size_t>(out - line.data()));
  return triggers;
}

void Words::reset(std::string_view line) {
  line_ = line;
  next_ = 0;
  cut_ = 0;
}

std::string_view Words::cutThrough(std::size_t n) {
  for (; cut_ <= n; ++cut_) {
    words_[cut_] = next_ <= line_.size() ? nextPiece(line_, next_, ' ', joined_[cut_])
                                         : std::string_view();
  }
  return words_[n];
}

}  // namespace brindle
