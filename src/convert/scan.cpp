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

// The patterns as bits of a byte: for each of a pattern's first three
// bytes, a table by the byte's low four bits and one by its high four bits,
// each repeated for both halves of a 32-byte register. A byte x is the
// pattern's byte d exactly where the pattern's bit is set in both
// low[d][x & 15] and high[d][x >> 4]; a pattern shorter than d + 1 bytes
// has its bit set everywhere in table d. Two patterns of the same group and
// length that differ in one nibble of one byte share a bit ("+=" and "-="):
// the bytes a bit takes at each place are then still exactly those of its
// patterns. The two top bits are classes of one byte: bit 7 whitespace
// other than a blank (a tab to a carriage return), bit 6 the quotes and
// their look-alikes, as the plain form finds them.
struct LookupBit {
  std::uint16_t low[3] = {};   // the low nibbles taken at each place, as bits
  std::uint16_t high[3] = {};  // and the high ones
  TriggerSet sets = 0;
  std::size_t size = 0;
  bool merged = false;
};
struct Lookup {
  LookupBit bits[6] = {};
  std::size_t count = 0;
};

constexpr std::uint16_t nibbleBit(unsigned nibble) { return static_cast<std::uint16_t>(1u << nibble); }

constexpr Lookup kLookup = [] {
  Lookup lookup;
  for (const Pattern& pattern : kPatterns) {
    LookupBit bit;
    bit.sets = pattern.sets;
    bit.size = pattern.size;
    for (std::size_t d = 0; d < 3; ++d) {
      const auto byte = static_cast<unsigned char>(pattern.bytes[d]);
      bit.low[d] = d < pattern.size ? nibbleBit(byte & 15) : 0xFFFF;
      bit.high[d] = d < pattern.size ? nibbleBit(byte >> 4) : 0xFFFF;
    }
    // Shares a bit where the two differ in one nibble alone.
    bool shared = false;
    for (std::size_t i = 0; i < lookup.count && !shared; ++i) {
      LookupBit& other = lookup.bits[i];
      if (other.merged || other.sets != bit.sets || other.size != bit.size) continue;
      std::size_t differ = 0;
      for (std::size_t d = 0; d < 3; ++d) differ += (other.low[d] != bit.low[d]) + (other.high[d] != bit.high[d]);
      if (differ != 1) continue;
      for (std::size_t d = 0; d < 3; ++d) {
        other.low[d] |= bit.low[d];
        other.high[d] |= bit.high[d];
      }
      other.merged = shared = true;
    }
    if (shared) continue;
    if (lookup.count == std::size(lookup.bits)) throw "too many patterns for the bits of a byte";
    lookup.bits[lookup.count++] = bit;
  }
  return lookup;
}();

constexpr unsigned char kOtherSpaceBit = 0x80;
constexpr unsigned char kQuoteBit = 0x40;
constexpr unsigned char kTextBits = static_cast<unsigned char>(~(kOtherSpaceBit | kQuoteBit));
static_assert(kLookup.count <= 6);

// The class of bytes `in` as nibbles, for a bit of its own: exact only
// where every pair of its low and high nibbles is one of its bytes.
template <typename In>
constexpr LookupBit classBit(In in) {
  LookupBit bit;
  for (unsigned x = 0; x < 256; ++x) {
    if (!in(static_cast<unsigned char>(x))) continue;
    bit.low[0] |= nibbleBit(x & 15);
    bit.high[0] |= nibbleBit(x >> 4);
  }
  for (unsigned x = 0; x < 256; ++x) {
    const bool taken = (bit.low[0] & nibbleBit(x & 15)) != 0 && (bit.high[0] & nibbleBit(x >> 4)) != 0;
    if (taken != in(static_cast<unsigned char>(x))) throw "the class is no pair of nibble sets";
  }
  for (std::size_t d = 1; d < 3; ++d) bit.low[d] = bit.high[d] = 0xFFFF;
  return bit;
}

struct NibbleTables {
  unsigned char low[3][32] = {};
  unsigned char high[3][32] = {};
};

constexpr NibbleTables kNibbleTables = [] {
  NibbleTables tables;
  const auto add = [&](const LookupBit& lookupBit, unsigned char bit) {
    for (std::size_t d = 0; d < 3; ++d) {
      for (std::size_t k = 0; k < 32; ++k) {
        if ((lookupBit.low[d] & nibbleBit(k % 16)) != 0) tables.low[d][k] |= bit;
        if ((lookupBit.high[d] & nibbleBit(k % 16)) != 0) tables.high[d][k] |= bit;
      }
    }
  };
  for (std::size_t i = 0; i < kLookup.count; ++i) add(kLookup.bits[i], static_cast<unsigned char>(1u << i));
  add(classBit([](unsigned char x) { return x >= '\t' && x <= '\r'; }), kOtherSpaceBit);
  add(classBit([](unsigned char x) { return (x | kQuoteBits) == '\''; }), kQuoteBit);
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

// How far ahead of the block being scanned the fast forms ask for the
// bytes: a run's worth. The scan is the first to read each byte of the
// script, which comes from memory, not the cache; asked for a block at a
// time, a run ahead, the bytes arrive while the run before them is
// scanned and its lines converted. Asking changes nothing the scan finds,
// and a hint past the input's end reads nothing and cannot fault.
constexpr std::size_t kScanAhead = kScanRun * kScanBlock;

// The masks of a block gather in locals, stored once at its end: stores
// through `out` might change the bytes, as far as the compiler knows.
__attribute__((target("avx2"))) void scanBlockAvx2(const char* bytes, std::size_t blocks, BlockMasks* out) {
  const __m256i fifteen = kept(_mm256_set1_epi8(15));
  const __m256i lineFeed = kept(_mm256_set1_epi8('\n'));
  const __m256i textBits = kept(_mm256_set1_epi8(static_cast<char>(kTextBits)));
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
    _mm_prefetch(bytes + k * kScanBlock + kScanAhead, _MM_HINT_T0);
    std::uint64_t lineFeeds = 0, otherSpaces = 0, quotes = 0, blankRuns = 0, textStarts = 0;
    for (std::size_t w = 0; w < kScanBlock / 32; ++w) {
      const char* const window = bytes + k * kScanBlock + w * 32;
      const unsigned shift = static_cast<unsigned>(w * 32);
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window + 1));
      const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(window + 2));
      const __m256i feeds = _mm256_cmpeq_epi8(a, lineFeed);
      lineFeeds |= maskOf(feeds) << shift;
      // Four blanks: two blanks after a byte that is neither a blank nor a
      // line feed, as the plain form matches them.
      blankRuns |= maskOf(_mm256_andnot_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a, blank), feeds),
                                              _mm256_and_si256(_mm256_cmpeq_epi8(b, blank),
                                                               _mm256_cmpeq_epi8(c, blank))))
                   << shift;
      const __m256i patterns =
          _mm256_and_si256(patternBits(a, 0), _mm256_and_si256(patternBits(b, 1), patternBits(c, 2)));
      static_assert(kOtherSpaceBit == 0x80 && kQuoteBit == 0x40);  // each byte's top bit is the mask's
      otherSpaces |= maskOf(patterns) << shift;
      quotes |= maskOf(_mm256_slli_epi16(patterns, 1)) << shift;
      textStarts |= nonZeroMask(_mm256_and_si256(patterns, textBits)) << shift;
    }
    out[k] = {lineFeeds, otherSpaces, quotes, blankRuns, textStarts};
  }
}

// A table of 16 bytes (the first half of one of 32) in each of the four
// lanes of a 64-byte register, where the shuffle looks bytes up. The
// zero-masking form: GCC 12's plain one warns of an undefined operand.
__attribute__((target("avx512f,avx512bw"))) inline __m512i laneTableOf(const unsigned char (&table)[32]) {
  return _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(table)));
}

// The same lookups, a whole block at a time: the comparisons give the
// block's masks directly, where the AVX2 form moves each half's out of a
// register and joins the two. About 40 instructions a block against about
// 100; on an AMD EPYC, 1.6 times the AVX2 form's speed.
__attribute__((target("avx512f,avx512bw"))) void scanBlockAvx512(const char* bytes, std::size_t blocks,
                                                                  BlockMasks* out) {
  const __m512i fifteen = _mm512_set1_epi8(15);
  const __m512i lineFeed = _mm512_set1_epi8('\n');
  const __m512i textBits = _mm512_set1_epi8(static_cast<char>(kTextBits));
  const __m512i quoteBit = _mm512_set1_epi8(static_cast<char>(kQuoteBit));
  const __m512i blank = _mm512_set1_epi8(kFourBlanks[0]);
  const __m512i low[3] = {laneTableOf(kNibbleTables.low[0]), laneTableOf(kNibbleTables.low[1]),
                          laneTableOf(kNibbleTables.low[2])};
  const __m512i high[3] = {laneTableOf(kNibbleTables.high[0]), laneTableOf(kNibbleTables.high[1]),
                           laneTableOf(kNibbleTables.high[2])};
  const auto patternBits = [&](__m512i x, std::size_t d) __attribute__((target("avx512f,avx512bw"))) {
    return _mm512_and_si512(
        _mm512_shuffle_epi8(low[d], _mm512_and_si512(x, fifteen)),
        _mm512_shuffle_epi8(high[d], _mm512_and_si512(_mm512_srli_epi16(x, 4), fifteen)));
  };
  for (std::size_t k = 0; k < blocks; ++k) {
    const char* const block = bytes + k * kScanBlock;
    _mm_prefetch(block + kScanAhead, _MM_HINT_T0);
    const __m512i a = _mm512_loadu_si512(block);
    const __m512i b = _mm512_loadu_si512(block + 1);
    const __m512i c = _mm512_loadu_si512(block + 2);
    const std::uint64_t feeds = _mm512_cmpeq_epi8_mask(a, lineFeed);
    // Four blanks as the plain form matches them.
    const std::uint64_t blankRuns = ~(_mm512_cmpeq_epi8_mask(a, blank) | feeds) &
                                    _mm512_cmpeq_epi8_mask(b, blank) & _mm512_cmpeq_epi8_mask(c, blank);
    // The three lookups' bits in common (0x80: a AND b AND c).
    const __m512i patterns =
        _mm512_ternarylogic_epi64(patternBits(a, 0), patternBits(b, 1), patternBits(c, 2), 0x80);
    out[k] = {feeds, _mm512_movepi8_mask(patterns), _mm512_test_epi8_mask(patterns, quoteBit),
              blankRuns, _mm512_test_epi8_mask(patterns, textBits)};
  }
}

}  // namespace

BlockScan avx512BlockScan() {
  static const BlockScan chosen =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") ? scanBlockAvx512 : nullptr;
  return chosen;
}

BlockScan avx2BlockScan() {
  static const BlockScan chosen = __builtin_cpu_supports("avx2") ? scanBlockAvx2 : nullptr;
  return chosen;
}
#else
BlockScan avx2BlockScan() { return nullptr; }
BlockScan avx512BlockScan() { return nullptr; }
#endif

namespace {
BlockScan fastestBlockScan() {
  if (const BlockScan avx512 = avx512BlockScan()) return avx512;
  const BlockScan avx2 = avx2BlockScan();
  return avx2 ? avx2 : scanBlockPlain;
}
}  // namespace

ScriptLines::ScriptLines(std::string_view input)
    : input_(input), scan_(fastestBlockScan()) {}

std::size_t ScriptLines::skipEmptyLines() {
  const std::size_t size = input_.size();
  const std::size_t begin = next_;
  if (begin >= size) return 0;  // past the last line feed
  std::size_t at = begin;
  while (at < size) {
    const std::size_t block = at & ~(kScanBlock - 1);
    if (block >= runEnd_) scanRun(block);
    const BlockMasks& masks = masks_[(block - run_) / kScanBlock];
    // The line feeds in a row from `at` on, in this block; none past the
    // input's end, where the scan reads zeros.
    at += static_cast<std::size_t>(std::countr_one(masks.lineFeeds >> (at - block)));
    if (at < block + kScanBlock) break;
  }
  at = std::min(at, size);
  next_ = at;
  return at - begin;
}

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
  // A line is handed out only once the run that holds its end is scanned,
  // so the flag is set before any line that holds a semicolon.
  if (!anySemicolon_) {
    anySemicolon_ = std::memchr(input_.data() + start, ';', std::min(size, runEnd_) - start) != nullptr;
  }
}

}  // namespace brindle
