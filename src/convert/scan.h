// Cutting a script into lines with the scan that tells what each holds:
// one pass, a block of 64 bytes at a time, finds the line ends and where the
// trigger texts of triggers.h may stand, so that the steps a line cannot set
// off are skipped. A ScriptLines belongs to one thread, and the text it cuts
// must outlive it.
#pragma once

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
// blank, quotes (and a few bytes that only look alike to the scan), and
// where a text of each trigger group may begin (starts[g] for the group
// 1 << g; anyStart, their union).
inline constexpr std::size_t kScanBlock = 64;
inline constexpr std::size_t kScanReads = kScanBlock + 2;  // bytes the scan of a block reads
struct BlockMasks {
  std::uint64_t lineFeeds = 0;
  std::uint64_t otherSpaces = 0;
  std::uint64_t quotes = 0;
  std::uint64_t anyStart = 0;
  std::uint64_t starts[kTriggerGroups] = {};
};

// Scans the kScanReads bytes at `bytes` into `masks`. The plain form runs
// on any processor; the AVX2 form, 32 bytes at a time with table lookups in
// place of one comparison per pattern, gives the same masks for the same
// bytes (the tests and the convert fuzz target compare them), and is
// nullptr where the processor or the build has no AVX2. ScriptLines uses the
// fastest form there is.
using BlockScan = void (*)(const char* bytes, BlockMasks& masks);
void scanBlockPlain(const char* bytes, BlockMasks& masks);
BlockScan avx2BlockScan();

// Hands out the lines of an input, in order. An input has one more line
// than it has line feeds; a carriage return directly before a line feed
// belongs to the line end, any other one stays in its line.
class ScriptLines {
 public:
  explicit ScriptLines(std::string_view input);

  // The next line; false once every line has been handed out.
  bool next(ScannedLine& line);

 private:
  void scanBlock(std::size_t start);

  std::string_view input_;
  BlockScan scan_;
  std::size_t next_ = 0;  // where the next line starts
  bool done_ = false;
  // Few scripts hold a semicolon at all; in those that do, each line is
  // looked at for one.
  bool anySemicolon_ = false;
  // The block of input scanned last, at an offset that is a multiple of its
  // width, and what the scan found in it.
  std::size_t block_ = static_cast<std::size_t>(-1);
  BlockMasks masks_;
};

// The text of `input` from `begin` to the line feed at `lineFeed` (npos, or
// any offset past the end, for none): a line without its line end, which
// takes a carriage return directly before the line feed with it. The one
// place the script's line end is read.
inline std::string_view lineBefore(std::string_view input, std::size_t begin, std::size_t lineFeed) {
  if (lineFeed >= input.size()) return input.substr(begin);
  std::string_view line = input.substr(begin, lineFeed - begin);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Inline, so that the loop over a script's lines holds the common case
// whole: a line that ends in the block scanned last.
inline bool ScriptLines::next(ScannedLine& line) {
  if (done_) return false;
  const std::size_t size = input_.size();
  const std::size_t begin = next_;
  TriggerSet triggers = 0;
  std::uint64_t otherSpaces = 0;
  std::uint64_t quotes = 0;
  // Takes in the bytes of the block scanned last that `range` marks.
  const auto lookAt = [&](std::uint64_t range) {
    otherSpaces |= masks_.otherSpaces & range;
    quotes |= masks_.quotes & range;
    if ((masks_.anyStart & range) == 0) return;
    for (std::size_t g = 0; g < kTriggerGroups; ++g) {
      triggers |= static_cast<TriggerSet>((masks_.starts[g] & range) != 0) << g;
    }
  };
  static_assert((kScanBlock & (kScanBlock - 1)) == 0);
  std::size_t end = size;
  for (std::size_t at = begin; at < size;) {
    const std::size_t block = at & ~(kScanBlock - 1);
    if (block != block_) scanBlock(block);
    const std::uint64_t from = ~std::uint64_t{0} << (at - block);
    if (const std::uint64_t lineFeeds = masks_.lineFeeds & from; lineFeeds != 0) {
      const auto feed = static_cast<unsigned>(std::countr_zero(lineFeeds));
      end = block + feed;
      // A carriage return before the line feed belongs to the line end. One
      // that ended the block before is taken for whitespace of the line,
      // which only costs the line the quick cut into words.
      const bool carriage = end > at && input_[end - 1] == '\r';
      lookAt(from & ((std::uint64_t{1} << (feed - carriage)) - 1));
      break;
    }
    lookAt(from);
    at = block + kScanBlock;
  }
  line.text = lineBefore(input_, begin, end);
  if (anySemicolon_ && !line.text.empty() && std::memchr(line.text.data(), ';', line.text.size()) != nullptr) {
    triggers |= kSemicolonTrigger;
  }
  line.triggers = triggers;
  line.blanksOnly = otherSpaces == 0;
  line.mayHoldQuote = quotes != 0;
  next_ = end + 1;
  done_ = end == size;
  return true;
}

// The line of `input` that starts at offset `begin`, without its line end,
// for a caller that looks at a few lines only.
std::string_view lineAt(std::string_view input, std::size_t begin);

}  // namespace brindle
