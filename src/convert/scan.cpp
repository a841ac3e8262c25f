#include "scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "byte_vectors.h"
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
// Windows are scanned four at a time, a block, so that most lines take one
// or two looks at the masks.
constexpr std::size_t kWindowsPerBlock = 4;
constexpr std::size_t kBlock = kWindowsPerBlock * kStep;
static_assert(kBlock == 64, "a block's masks fill 64 bits");

// Vectors are filled through references, not returned: where vectors have
// no registers (32-bit x86 without SSE), returning one changes the ABI.
template <std::size_t I>
void patternHits(const ByteVector& a, const ByteVector& b, const ByteVector& c, LaneVector& hits) {
  constexpr Pattern pattern = kPatterns[I];
  hits = a == static_cast<unsigned char>(pattern.bytes[0]);
  if constexpr (pattern.size > 1) hits &= b == static_cast<unsigned char>(pattern.bytes[1]);
  if constexpr (pattern.size > 2) hits &= c == static_cast<unsigned char>(pattern.bytes[2]);
}

// The hits of every pattern at once, each computed once.
template <std::size_t... I>
void allPatternHits(const ByteVector& a, const ByteVector& b, const ByteVector& c,
                    LaneVector (&hits)[kPatternCount], std::index_sequence<I...>) {
  (patternHits<I>(a, b, c, hits[I]), ...);
}

// The union of the hits of every pattern, in `any`.
template <std::size_t... I>
void anyPatternHits(const ByteVector& a, const ByteVector& b, const ByteVector& c, LaneVector& any,
                    std::index_sequence<I...>) {
  LaneVector hits;
  ((patternHits<I>(a, b, c, hits), any |= hits), ...);
}

// The union of the hits of the patterns of the group `kGroup`.
template <TriggerSet kGroup, std::size_t... I>
unsigned groupStarts(const LaneVector (&hits)[kPatternCount], std::index_sequence<I...>) {
  LaneVector group = {};
  ((group |= kPatterns[I].sets == kGroup ? hits[I] : LaneVector{}), ...);
  return hitMask(group);
}

// Fills `starts` for the window at `p`: bit k of starts[g] is set where a
// text of the group with bit g may begin at p[k]; returns their union. Four
// blanks are matched as two blanks after a byte that is neither a blank nor
// a line feed: blanks that lead a line are its indentation, which every line
// turns into tabs anyway.
template <std::size_t... G>
unsigned windowStarts(const ByteVector& a, const char* p, unsigned (&starts)[kTriggerGroups],
                      std::index_sequence<G...>) {
  ByteVector b;
  ByteVector c;
  loadBytes(b, p + 1);
  loadBytes(c, p + 2);
  constexpr unsigned char kBlank = kFourBlanks[0];
  const LaneVector blankRuns =
      (b == kBlank) & (c == kBlank) & ~((a == kBlank) | (a == static_cast<unsigned char>('\n')));
  const auto patterns = std::make_index_sequence<kPatternCount>();
  LaneVector any = blankRuns;
  anyPatternHits(a, b, c, any, patterns);
  // Most windows start no trigger text; only the others are told apart by
  // group, their hits made again.
  const unsigned anyStart = hitMask(any);
  if (anyStart == 0) return 0;
  LaneVector hits[kPatternCount];
  allPatternHits(a, b, c, hits, patterns);
  static_assert(kBlankRunTrigger == 1);
  starts[0] = hitMask(blankRuns);
  ((starts[G + 1] = groupStarts<TriggerSet{2} << G>(hits, patterns)), ...);
  return anyStart;
}

}  // namespace

std::string_view lineBefore(std::string_view input, std::size_t begin, std::size_t lineFeed) {
  if (lineFeed >= input.size()) return input.substr(begin);
  std::string_view line = input.substr(begin, lineFeed - begin);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string_view lineAt(std::string_view input, std::size_t begin) {
  return lineBefore(input, begin, input.find('\n', begin));
}

ScriptLines::ScriptLines(std::string_view input)
    : input_(input), anySemicolon_(!input.empty() && std::memchr(input.data(), ';', input.size()) != nullptr) {}

inline void ScriptLines::scanBlock(std::size_t start) {
  block_ = start;
  constexpr std::size_t kReads = kBlock + kWindow - kStep;  // bytes a block reads
  char padded[kReads];
  const char* bytes = input_.data() + start;
  if (start + kReads > input_.size()) {
    // Near the end the block reads a zero-padded copy; no pattern holds a
    // zero byte, and the four-blank pattern needs two blanks after its start.
    std::memset(padded, 0, kReads);
    std::memcpy(padded, bytes, input_.size() - start);
    bytes = padded;
  }
  anyStart_ = 0;
  for (std::uint64_t& group : starts_) group = 0;
  // The masks of the block gather in locals, stored once at its end.
  std::uint64_t lineFeeds = 0;
  std::uint64_t otherSpaces = 0;
  std::uint64_t quotes = 0;
  for (std::size_t w = 0; w < kWindowsPerBlock; ++w) {
    const char* const window = bytes + w * kStep;
    const unsigned shift = static_cast<unsigned>(w * kStep);
    ByteVector a;
    loadBytes(a, window);
    // Whitespace other than a blank is a byte from tab to carriage return;
    // as signed bytes, those from 0x80 on are below both.
    LaneVector signedBytes;
    std::memcpy(&signedBytes, &a, sizeof signedBytes);
    lineFeeds |= std::uint64_t{hitMask(a == static_cast<unsigned char>('\n'))} << shift;
    otherSpaces |= std::uint64_t{hitMask((signedBytes >= '\t') & (signedBytes <= '\r'))} << shift;
    // '"' and '\'' differ from each other, and from '#' and '&', only in the
    // bits of 0x05: one comparison finds all four.
    static_assert(('"' | 0x05) == '\'' && ('#' | 0x05) == '\'' && ('&' | 0x05) == '\'');
    quotes |= std::uint64_t{hitMask((a | 0x05) == static_cast<unsigned char>('\''))} << shift;
    unsigned starts[kTriggerGroups];
    const unsigned any =
        windowStarts(a, window, starts, std::make_index_sequence<kTriggerGroups - 1>());
    if (any == 0) continue;
    anyStart_ |= std::uint64_t{any} << shift;
    for (std::size_t g = 0; g < kTriggerGroups; ++g) starts_[g] |= std::uint64_t{starts[g]} << shift;
  }
  lineFeeds_ = lineFeeds;
  otherSpaces_ = otherSpaces;
  quotes_ = quotes;
}

bool ScriptLines::next(ScannedLine& line) {
  if (done_) return false;
  const std::size_t begin = next_;
  TriggerSet triggers = 0;
  std::uint64_t otherSpaces = 0;
  std::uint64_t quotes = 0;
  // Takes in the bytes [from, to) of the block scanned last.
  const auto lookAt = [&](std::size_t from, std::size_t to) {
    const std::uint64_t range =
        (to == kBlock ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1) & ~((std::uint64_t{1} << from) - 1);
    otherSpaces |= otherSpaces_ & range;
    quotes |= quotes_ & range;
    if ((anyStart_ & range) == 0) return;
    for (std::size_t g = 0; g < kTriggerGroups; ++g) {
      triggers |= static_cast<TriggerSet>((starts_[g] & range) != 0) << g;
    }
  };
  std::size_t end = input_.size();
  for (std::size_t at = begin; at < input_.size();) {
    const std::size_t block = at - at % kBlock;
    if (block != block_) scanBlock(block);
    const std::size_t from = at - block;
    const std::uint64_t lineFeeds = lineFeeds_ >> from << from;
    if (lineFeeds != 0) {
      end = block + static_cast<std::size_t>(std::countr_zero(lineFeeds));
      // A carriage return before the line feed belongs to the line end. One
      // that ended the block before is taken for whitespace of the line,
      // which only costs the line the quick cut into words.
      std::size_t to = end - block;
      if (to > from && input_[end - 1] == '\r') --to;
      lookAt(from, to);
      break;
    }
    lookAt(from, kBlock);
    at = block + kBlock;
  }
  line.text = lineBefore(input_, begin, end);
  if (anySemicolon_ && !line.text.empty() && std::memchr(line.text.data(), ';', line.text.size()) != nullptr) {
    triggers |= kSemicolonTrigger;
  }
  line.triggers = triggers;
  line.blanksOnly = otherSpaces == 0;
  line.mayHoldQuote = quotes != 0;
  next_ = end + 1;
  done_ = end == input_.size();
  return true;
}

}  // namespace brindle
