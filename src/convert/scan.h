// Cutting a script into lines with the scan that tells what each holds:
// one pass, a block of 64 bytes at a time, finds the line ends and where the
// trigger texts of triggers.h may stand, so that the steps a line cannot set
// off are skipped. A ScriptLines belongs to one thread, and the text it cuts
// must outlive it.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "triggers.h"

namespace brindle {

// A line of an input, without its line end, and what the scan tells of it.
struct ScannedLine {
  std::string_view text;
  // The groups of scanned trigger texts (see triggers.h) the line may hold
  // after its leading blanks, and kSemicolonTrigger where it holds a
  // semicolon: never one less than it holds.
  TriggerSet triggers = 0;
  // Whether the line holds no whitespace but blanks.
  bool blanksOnly = false;
  // Whether the line may hold a quote, `"` or `'`: false when it surely
  // holds none.
  bool mayHoldQuote = false;
};

// What the scan finds in a block of kScanBlock bytes of input, bit k of
// each mask for the block's byte k: line feeds, whitespace other than a
// blank, quotes (and a few bytes that only look alike to the scan), where
// four blanks may begin (kBlankRunTrigger), and where any other scanned
// text may begin, whose group its first byte tells (kGroupByFirstByte).
inline constexpr std::size_t kScanBlock = 64;
inline constexpr std::size_t kScanReads = kScanBlock + 2;  // bytes the scan of a block reads
struct BlockMasks {
  std::uint64_t lineFeeds = 0;
  std::uint64_t otherSpaces = 0;
  std::uint64_t quotes = 0;
  std::uint64_t blankRuns = 0;
  std::uint64_t textStarts = 0;
};

// The group of the scanned texts, four blanks apart, that begin with each
// byte: no two groups' texts begin with the same byte, so that a start the
// scan finds needs no more than its first byte to be told apart.
inline constexpr auto kGroupByFirstByte = [] {
  std::array<TriggerSet, 256> groups{};
  for (const ScannedText& scanned : kScannedTexts) {
    if (scanned.text == kFourBlanks) continue;
    TriggerSet& group = groups[static_cast<unsigned char>(scanned.text[0])];
    if (group != 0 && group != scanned.sets) throw "two groups' scanned texts begin with the same byte";
    group = scanned.sets;
  }
  return groups;
}();

// Scans `blocks` blocks of kScanBlock bytes from `bytes` on into
// masks[0 .. blocks), reading blocks * kScanBlock + kScanReads - kScanBlock
// bytes. The plain form runs on any processor. The fast forms, the AVX2
// one 32 bytes at a time with table lookups in place of one comparison per
// pattern and the AVX-512 one the same lookups a whole block at a time,
// give the same masks for the same bytes (the tests and the convert fuzz
// target compare each with the plain form); each is nullptr where the
// processor or the build lacks it (AVX-512: its F and BW parts).
// ScriptLines uses the fastest form there is, kScanRun blocks a call, which
// spares each block the call and the setting up of the constants.
using BlockScan = void (*)(const char* bytes, std::size_t blocks, BlockMasks* masks);
void scanBlockPlain(const char* bytes, std::size_t blocks, BlockMasks* masks);
BlockScan avx2BlockScan();
BlockScan avx512BlockScan();
inline constexpr std::size_t kScanRun = 16;

// Hands out the lines of an input, in order. An input has one more line
// than it has line feeds; a carriage return directly before a line feed
// belongs to the line end, any other one stays in its line.
class ScriptLines {
 public:
  explicit ScriptLines(std::string_view input);

  // The next line; false once every line has been handed out.
  bool next(ScannedLine& line);
  // Passes over the empty lines that end in a line feed directly after the
  // line handed out last, a block's worth at a time, and returns how many:
  // the lines that as many calls of next would have handed out, each
  // empty. The lines after them come out as before. Not inline: most
  // scripts have few empty lines, and the loop over lines stays as small.
  std::size_t skipEmptyLines();

 private:
  void scanRun(std::size_t start);

  std::string_view input_;
  BlockScan scan_;
  std::size_t next_ = 0;  // where the next line starts
  // Few scripts hold a semicolon at all; from the first one the scan meets
  // on, each line is looked at for one. Each run of blocks is searched as it
  // is scanned, while its bytes are at hand, rather than the whole input
  // first, which would read every byte from memory twice.
  bool anySemicolon_ = false;
  // The blocks of input scanned last, from `run_` (a multiple of their
  // width) to `runEnd_`, and what the scan found in each.
  std::size_t run_ = 0;
  std::size_t runEnd_ = 0;
  BlockMasks masks_[kScanRun];
};

// The text of `input` from `begin` to the line feed at `lineFeed` (npos, or
// any offset past the end, for none): a line without its line end, which
// takes a carriage return directly before the line feed with it. The one
// place the script's line end is read.
inline std::string_view lineBefore(std::string_view input, std::size_t begin, std::size_t lineFeed) {
  const char* const line = input.data() + begin;
  if (lineFeed >= input.size()) return {line, input.size() - begin};
  const std::size_t size = lineFeed - begin;
  return {line, size - (size > 0 && line[size - 1] == '\r')};
}

// Inline, so that the loop over a script's lines holds the common case
// whole: a line that ends in the block scanned last.
inline bool ScriptLines::next(ScannedLine& line) {
  const std::size_t size = input_.size();
  const std::size_t begin = next_;
  if (begin > size) return false;
  TriggerSet triggers = 0;
  std::uint64_t otherSpaces = 0;
  std::uint64_t quotes = 0;
  // Takes in the bytes of `masks`' block, at `block` in the input, that
  // `range` marks.
  const auto lookAt = [&](const BlockMasks& masks, std::size_t block, std::uint64_t range) {
    otherSpaces |= masks.otherSpaces & range;
    quotes |= masks.quotes & range;
    static_assert(kBlankRunTrigger == 1);
    triggers |= static_cast<TriggerSet>((masks.blankRuns & range) != 0);
    for (std::uint64_t starts = masks.textStarts & range; starts != 0; starts &= starts - 1) {
      triggers |= kGroupByFirstByte[static_cast<unsigned char>(input_[block + std::countr_zero(starts)])];
    }
  };
  static_assert((kScanBlock & (kScanBlock - 1)) == 0);
  std::size_t end = size;
  for (std::size_t at = begin; at < size;) {
    const std::size_t block = at & ~(kScanBlock - 1);
    if (block >= runEnd_) scanRun(block);  // lines come in order
    const BlockMasks& masks = masks_[(block - run_) / kScanBlock];
    const std::uint64_t from = ~std::uint64_t{0} << (at - block);
    if (const std::uint64_t lineFeeds = masks.lineFeeds & from; lineFeeds != 0) {
      const auto feed = static_cast<unsigned>(std::countr_zero(lineFeeds));
      end = block + feed;
      // A carriage return before the line feed belongs to the line end. One
      // that ended the block before is taken for whitespace of the line,
      // which only costs the line the quick cut into words.
      // A carriage return is whitespace other than a blank, as the masks
      // tell without a look at the byte.
      const bool carriage =
          end > at && ((masks.otherSpaces >> (feed - 1)) & 1) != 0 && input_[end - 1] == '\r';
      lookAt(masks, block, from & ((std::uint64_t{1} << (feed - carriage)) - 1));
      break;
    }
    lookAt(masks, block, from);
    at = block + kScanBlock;
  }
  line.text = lineBefore(input_, begin, end);
  if (anySemicolon_ && !line.text.empty() && std::memchr(line.text.data(), ';', line.text.size()) != nullptr) {
    triggers |= kSemicolonTrigger;
  }
  line.triggers = triggers;
  line.blanksOnly = otherSpaces == 0;
  line.mayHoldQuote = quotes != 0;
  next_ = end + 1;  // past the end once the last line is out
  return true;
}

// The line of `input` that starts at offset `begin`, without its line end,
// for a caller that looks at a few lines only.
std::string_view lineAt(std::string_view input, std::size_t begin);

}  // namespace brindle
