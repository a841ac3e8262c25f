#include "scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "byte_vectors.h"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
// Not on Windows, where GCC cannot keep the stack aligned for 32-byte
// registers it spills.
#define BRINDLE_SCAN_AVX2 1
#include <immintrin.h>
#else
#define BRINDLE_SCAN_AVX2 0
#endif
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

// '"' and '\'' differ from each other, and from '#' and '&', only in the
// bits of 0x05: one comparison finds all four.
constexpr char kQuoteBits = 0x05;
static_assert(('"' | kQuoteBits) == '\'' && ('#' | kQuoteBits) == '\'' && ('&' | kQuoteBits) == '\'');

constexpr std::size_t kStep = kVectorBytes;  // starts looked at per window
constexpr std::size_t kWindow = kStep + 2;   // bytes a window reads
// Windows are scanned four at a time, a block, so that most lines take one
// or two looks at the masks.
constexpr std::size_t kWindowsPerBlock = 4;
constexpr std::size_t kBlock = kWindowsPerBlock * kStep;
static_assert(kBlock == kScanBlock && kBlock + kWindow - kStep == kScanReads);

// Vectors are filled through references, not returned: where vectors have
// no registers (32-bit x86 without SSE), returning one changes the ABI.
template <std::size_t I>
void patternHits(const ByteVector& a, const ByteVector& b, const ByteVector& c, LaneVector& hits) {
  constexpr Pattern pattern = kPatterns[I];
  hits = a == static_cast<unsigned char>(pattern.bytes[0]);
  if constexpr (pattern.size > 1) hits &= b == static_cast<unsigned char>(pattern.bytes[1]);
  if constexpr (pattern.size > 2) hits &= c == static_cast<unsigned char>(pattern.bytes[2]);
}

// The union of the hits of every pattern, in `any`.
template <std::size_t... I>
void anyPatternHits(const ByteVector& a, const ByteVector& b, const ByteVector& c, LaneVector& any,
                    std::index_sequence<I...>) {
  LaneVector hits;
  ((patternHits<I>(a, b, c, hits), any |= hits), ...);
}

// For the window at `p`, whose first bytes are `a`: bit k of `runs` is set
// where four blanks may begin at p[k], and of `texts` where another scanned
// text may. Four blanks are matched as two blanks after a byte that is
// neither a blank nor a line feed: blanks that lead a line are its
// indentation, which every line turns into tabs anyway.
void windowStarts(const ByteVector& a, const char* p, unsigned& runs, unsigned& texts) {
  ByteVector b;
  ByteVector c;
  loadBytes(b, p + 1);
  loadBytes(c, p + 2);
  constexpr unsigned char kBlank = kFourBlanks[0];
  runs = hitMask((b == kBlank) & (c == kBlank) & ~((a == kBlank) | (a == static_cast<unsigned char>('\n'))));
  LaneVector any = {};
  anyPatternHits(a, b, c, any, std::make_index_sequence<kPatternCount>());
  texts = hitMask(any);
}

// Each pattern's first byte tells its group, as the scan's reader looks it up.
constexpr bool firstBytesTellGroups() {
  for (const Pattern& pattern : kPatterns) {
    if (kGroupByFirstByte[static_cast<unsigned char>(pattern.bytes[0])] != pattern.sets) return false;
  }
  return true;
}
static_assert(firstBytesTellGroups());

}  // namespace

std::string_view lineAt(std::string_view input, std::size_t begin) {
  return lineBefore(input, begin, input.find('\n', begin));
}

namespace {
void scanOneBlockPlain(const char* bytes, BlockMasks& masks) {
  masks = BlockMasks();
  for (std::size_t w = 0; w < kWindowsPerBlock; ++w) {
    const char* const window = bytes + w * kStep;
    const unsigned shift = static_cast<unsigned>(w * kStep);
    ByteVector a;
    loadBytes(a, window);
    // Whitespace other than a blank is a byte from tab to carriage return;
    // as signed bytes, those from 0x80 on are below both.
    LaneVector signedBytes;
    std::memcpy(&signedBytes, &a, sizeof signedBytes);
    masks.lineFeeds |= std::uint64_t{hitMask(a == static_cast<unsigned char>('\n'))} << shift;
    masks.otherSpaces |= std::uint64_t{hitMask((signedBytes >= '\t') & (signedBytes <= '\r'))} << shift;
    masks.quotes |= std::uint64_t{hitMask((a | kQuoteBits) == static_cast<unsigned char>('\''))} << shift;
    unsigned runs;
    unsigned texts;
    windowStarts(a, window, runs, texts);
    masks.blankRuns |= std::uint64_t{runs} << shift;
    masks.textStarts |= std::uint64_t{texts} << shift;
  }
}
}  // namespace

void scanBlockPlain(const char* bytes, std::size_t blocks, BlockMasks* masks) {
  for (std::size_t k = 0; k < blocks; ++k) scanOneBlockPlain(bytes + k * kScanBlock, masks[k]);
}

#if BRINDLE_SCAN_AVX2
namespace {

// The patterns as bits of a byte, one per pattern: for each of a pattern's
// first three bytes, a table by the byte's low four bits and one by its
// high four bits, each repeated for both halves of a 32-byte register. A
// byte x is the pattern's byte d exactly where the pattern's bit is set in
// both low[d][x & 15] and high[d][x >> 4]; a pattern shorter than d + 1
// bytes has its bit set everywhere in table d. The top bit, which no
// pattern takes, is a one-byte pattern of its own: whitespace other than a
// blank, a byte from tab to carriage return.
constexpr unsigned char kOtherSpaceBit = 0x80;
static_assert(kPatternCount < 8, "each pattern takes a bit of a byte, and the top bit is taken");
struct NibbleTables {
  unsigned char low[3][32] = {};
  unsigned char high[3][32] = {};
};

constexpr NibbleTables kNibbleTables = [] {
  NibbleTables tables;
  for (std::size_t i = 0; i < kPatternCount; ++i) {
    const auto bit = static_cast<unsigned char>(1u << i);
    for (std::size_t d = 0; d < 3; ++d) {
      for (std::size_t k = 0; k < 32; ++k) {
        const auto nibble = static_cast<unsigned>(k % 16);
        const auto byte = static_cast<unsigned char>(kPatterns[i].bytes[d]);
        if (d >= kPatterns[i].size || (byte & 15) == nibble) tables.low[d][k] |= bit;
        if (d >= kPatterns[i].size || (byte >> 4) == nibble) tables.high[d][k] |= bit;
      }
    }
  }
  static_assert('\t' >> 4 == 0 && '\r' >> 4 == 0);
  for (std::size_t k = 0; k < 32; ++k) {
    const auto nibble = static_cast<unsigned>(k % 16);
    if (nibble >= '\t' && nibble <= '\r') tables.low[0][k] |= kOtherSpaceBit;
    if (nibble == 0) tables.high[0][k] |= kOtherSpaceBit;
    for (std::size_t d = 1; d < 3; ++d) {
      tables.low[d][k] |= kOtherSpaceBit;
      tables.high[d][k] |= kOtherSpaceBit;
    }
  }
  return tables;
}();

// A constant the compiler may not make again from immediates where it
// needs it (three instructions each time): it stays in a register, or is
// read back from the stack in one.
__attribute__((target("avx2"))) inline __m256i kept(__m256i value) {
  __asm__("" : "+x"(value));
  return value;
}

__attribute__((target("avx2"))) inline __m256i tableOf(const unsigned char (&table)[32]) {
  return kept(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(table)));
}

__attribute__((target("avx2"))) inline std::uint64_t maskOf(__m256i lanes) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(lanes));
}

__attribute__((target("avx2"))) inline std::uint64_t nonZeroMask(__m256i lanes) {
  return maskOf(_mm256_cmpeq_epi8(lanes, _mm256_setzero_si256())) ^ 0xFFFFFFFFu;
}

// The masks of a block gather in locals, stored once at its end: stores
// through `out` might change the bytes, as far as the compiler knows.
__attribute__((target("avx2"))) void scanBlockAvx2(const char* bytes, std::size_t blocks, BlockMasks* out) {
  const __m256i fifteen = kept(_mm256_set1_epi8(15));
  const __m256i lineFeed = kept(_mm256_set1_epi8('\n'));
  const __m256i patternBitsOnly = kept(_mm256_set1_epi8(static_cast<char>(~kOtherSpaceBit)));
  const __m256i quoteBits = kept(_mm256_set1_epi8(kQuoteBits));
  const __m256i quote = kept(_mm256_set1_epi8('\''));
  const __m256i blank = kept(_mm256_set1_epi8(kFourBlanks[0]));
  const __m256i low[3] = {tableOf(kNibbleTables.low[0]), tableOf(kNibbleTables.low[1]),
                          tableOf(kNibbleTables.low[2])};
  const __m256i high[3] = {tableOf(kNibbleTables.high[0]), tableOf(kNibbleTables.high[1]),
                           tableOf(kNibbleTables.high[2])};
  // The patterns whose byte `d` each byte of `x` is, as bits.
  const auto patternBits = [&](__m256i x, std::size_t d) __attribute__((target("avx2"))) {
    return _mm256_and_si256(_mm256_shuffle_epi8(low[d], _mm256_and_si256(x, fifteen)),
                            _mm256_shuffle_epi8(high[d], _mm256_and_si256(_mm256_srli_epi16(x, 4), fifteen)));
  };
  for (std::size_t k = 0; k < blocks; ++k) {
    std::uint64_t lineFeeds = 0, otherSpaces = 0, quotes = 0, blankRuns = 0, textStarts = 0;
    for (std::size_t w = 0; w < kScanBlock / 32; ++w) {
      const char* const window = bytes + k * kScanBlock + w * 32;
      const unsigned shift = static_cast<unsigned>(w * 32);
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window + 1));
      const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window + 2));
      const __m256i feeds = _mm256_cmpeq_epi8(a, lineFeed);
      lineFeeds |= maskOf(feeds) << shift;
      quotes |= maskOf(_mm256_cmpeq_epi8(_mm256_or_si256(a, quoteBits), quote)) << shift;
      // Four blanks: two blanks after a byte that is neither a blank nor a
      // line feed, as the plain form matches them.
      blankRuns |= maskOf(_mm256_andnot_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a, blank), feeds),
                                              _mm256_and_si256(_mm256_cmpeq_epi8(b, blank),
                                                               _mm256_cmpeq_epi8(c, blank))))
                   << shift;
      const __m256i patterns =
          _mm256_and_si256(patternBits(a, 0), _mm256_and_si256(patternBits(b, 1), patternBits(c, 2)));
      otherSpaces |= maskOf(patterns) << shift;  // the top bits
      textStarts |= nonZeroMask(_mm256_and_si256(patterns, patternBitsOnly)) << shift;
    }
    out[k] = {lineFeeds, otherSpaces, quotes, blankRuns, textStarts};
  }
}

}  // namespace

BlockScan avx2BlockScan() {
  static const BlockScan chosen = __builtin_cpu_supports("avx2") ? scanBlockAvx2 : nullptr;
  return chosen;
}
#else
BlockScan avx2BlockScan() { return nullptr; }
#endif

namespace {
BlockScan fastestBlockScan() {
  const BlockScan avx2 = avx2BlockScan();
  return avx2 ? avx2 : scanBlockPlain;
}
}  // namespace

ScriptLines::ScriptLines(std::string_view input)
    : input_(input),
      scan_(fastestBlockScan()),
      anySemicolon_(!input.empty() && std::memchr(input.data(), ';', input.size()) != nullptr) {}

void ScriptLines::scanRun(std::size_t start) {
  const std::size_t size = input_.size();
  const std::size_t blocks = std::min(kScanRun, (size - start + kScanBlock - 1) / kScanBlock);
  const std::size_t reads = blocks * kScanBlock + kScanReads - kScanBlock;
  run_ = start;
  runEnd_ = start + blocks * kScanBlock;
  const char* bytes = input_.data() + start;
  char padded[kScanRun * kScanBlock + kScanReads - kScanBlock];
  if (start + reads > size) {
    // Near the end the scan reads a zero-padded copy; no pattern holds a
    // zero byte, and the four-blank pattern needs two blanks after its start.
    std::memset(padded, 0, reads);
    std::memcpy(padded, bytes, size - start);
    bytes = padded;
  }
  scan_(bytes, blocks, masks_);
}

}  // namespace brindle
