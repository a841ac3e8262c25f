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
  LaneVector hits[kPatternCount];
  allPatternHits(a, b, c, hits, patterns);
  LaneVector any = blankRuns;
  for (const LaneVector& pattern : hits) any |= pattern;
  // Most windows start no trigger text; only the others are told apart by group.
  const unsigned anyStart = hitMask(any);
  if (anyStart == 0) return 0;
  static_assert(kBlankRunTrigger == 1);
  starts[0] = hitMask(blankRuns);
  ((starts[G + 1] = groupStarts<TriggerSet{2} << G>(hits, patterns)), ...);
  return anyStart;
}

// Where the first "+=" or "-=" at or after `from` starts, or npos.
std::size_t findUpdate(std::string_view text, std::size_t from) {
  static_assert(kAddTo[1] == kSubtractFrom[1]);
  for (std::size_t at = from; at + 1 < text.size(); ++at) {
    const void* const equals = std::memchr(text.data() + at + 1, kAddTo[1], text.size() - at - 1);
    if (equals == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(equals) - text.data()) - 1;
    if (text[at] == kAddTo[0] || text[at] == kSubtractFrom[0]) return at;
  }
  return std::string_view::npos;
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
  lineFeeds_ = 0;
  otherSpaces_ = 0;
  anyStart_ = 0;
  for (std::uint64_t& group : starts_) group = 0;
  for (std::size_t w = 0; w < kWindowsPerBlock; ++w) {
    const char* const window = bytes + w * kStep;
    const unsigned shift = static_cast<unsigned>(w * kStep);
    ByteVector a;
    loadBytes(a, window);
    // Whitespace other than a blank is a byte from tab to carriage return;
    // as signed bytes, those from 0x80 on are below both.
    LaneVector signedBytes;
    std::memcpy(&signedBytes, &a, sizeof signedBytes);
    lineFeeds_ |= std::uint64_t{hitMask(a == static_cast<unsigned char>('\n'))} << shift;
    otherSpaces_ |= std::uint64_t{hitMask((signedBytes >= '\t') & (signedBytes <= '\r'))} << shift;
    unsigned starts[kTriggerGroups];
    const unsigned any =
        windowStarts(a, window, starts, std::make_index_sequence<kTriggerGroups - 1>());
    if (any == 0) continue;
    anyStart_ |= std::uint64_t{any} << shift;
    for (std::size_t g = 0; g < kTriggerGroups; ++g) starts_[g] |= std::uint64_t{starts[g]} << shift;
  }
}

bool ScriptLines::next(ScannedLine& line) {
  if (done_) return false;
  const std::size_t begin = next_;
  TriggerSet triggers = 0;
  std::uint64_t otherSpaces = 0;
  // Takes in the bytes [from, to) of the block scanned last.
  const auto lookAt = [&](std::size_t from, std::size_t to) {
    const std::uint64_t range =
        (to == kBlock ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1) & ~((std::uint64_t{1} << from) - 1);
    otherSpaces |= otherSpaces_ & range;
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
  line.triggers = triggers;
  line.blanksOnly = otherSpaces == 0;
  next_ = end + 1;
  done_ = end == input_.size();
  return true;
}

Normalised normaliseLine(std::string_view raw, TriggerSet triggers, std::string& line) {
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
  // The tabs and the blanks left over take the place of the last of the
  // leading blanks, which a copy of the line brings along; the tabs are
  // written over the first of them.
  const auto copyWhole = [&] {
    line.assign(rest.data() - tabs - blanks, tabs + blanks + rest.size());
    std::fill_n(line.data(), tabs, '\t');
  };
  if (!changes) {
    copyWhole();
    return {triggers, tabs};
  }
  // Most updates hold one "+=" or "-=" and no run of blanks: the line is
  // copied whole and one blank put in.
  if ((triggers & kBlankRunTrigger) == 0) {
    const std::size_t update = findUpdate(rest, 0);
    if (update != std::string_view::npos &&
        findUpdate(rest, update + kAddTo.size()) == std::string_view::npos) {
      copyWhole();
      const std::size_t after = tabs + blanks + update + kAddTo.size();
      line.insert(after, 1, kBlank);
      triggers |= formedByJoining(kAddTo[1], kBlank);
      if (after + 1 < line.size()) triggers |= formedByJoining(kBlank, line[after + 1]);
      return {triggers, tabs};
    }
  }
  // Four blanks become one tab and take three bytes fewer; every "=" may
  // gain a blank behind it. So the rest grows to at most twice its length.
  line.resize(tabs + blanks + 2 * rest.size());
  char* out = line.data();
  out = std::fill_n(out, tabs, '\t');
  out = std::fill_n(out, blanks, kBlank);
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
  return {triggers, tabs};
}

void Words::reset(std::string_view line, std::size_t leadingTabs, bool blanksOnly) {
  line_ = line;
  leadingTabs_ = leadingTabs;
  blanksOnly_ = blanksOnly;
  next_ = blanksOnly ? leadingTabs : 0;
  cut_ = 0;
}

bool Words::firstMayStartWithSlowly(const std::array<bool, 256>& starts) const {
  if (cut_ > 0) return !words_[0].empty() && starts[static_cast<unsigned char>(words_[0][0])];
  // The first word is the first piece less its whitespace: its first byte,
  // if any, is the first byte that is not whitespace, unless a blank ends
  // the piece before it.
  for (std::size_t i = next_; i < line_.size(); ++i) {
    const char c = line_[i];
    if (!isSpaceByte(c)) return starts[static_cast<unsigned char>(c)];
    if (c == ' ') return false;
  }
  return false;
}

std::string_view Words::cutThrough(std::size_t n) {
  for (; cut_ <= n; ++cut_) {
    if (next_ > line_.size()) {
      words_[cut_] = std::string_view();
    } else if (blanksOnly_) {
      // No whitespace to take out: a word runs to the next blank.
      const char* const begin = line_.data() + next_;
      const std::size_t left = line_.size() - next_;
      const void* const blank = std::memchr(begin, ' ', left);
      const std::size_t length =
          blank ? static_cast<std::size_t>(static_cast<const char*>(blank) - begin) : left;
      words_[cut_] = std::string_view(begin, length);
      next_ += length + 1;
    } else {
      words_[cut_] = nextPiece(line_, next_, ' ', joined_[cut_]);
    }
  }
  return words_[n];
}

}  // namespace brindle
