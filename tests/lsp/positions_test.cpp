// Positions as the protocol counts them: lines ended by LF, CR LF or CR,
// characters in UTF-16 units, accents, CJK and characters outside the BMP.
#include "positions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::lsp {
namespace {

TEST(PositionsTest, BytesAndUtf16UnitsBothWays) {
  struct Case {
    std::string text;
    std::size_t offset;  // a byte of the text
    Position position;   // where it is
  };
  const std::vector<Case> cases = {
      {"abc", 2, {0, 2}},
      {"a\nbc", 3, {1, 1}},
      {"a\r\nbc", 4, {1, 1}},
      {"a\rbc", 3, {1, 1}},  // a carriage return alone ends a line for the protocol
      {"a\r\r\nbc", 4, {2, 0}},
      {"\n\r\n\rb", 4, {3, 0}},
      {"ab\r", 3, {1, 0}},
      {"caf\xC3\xA9 x", 6, {0, 5}},          // é: two bytes, one unit
      {"\xE5\x85\x88\xE7\x94\x9F!", 6, {0, 2}},  // 先生: three bytes each, one unit each
      {"\xF0\x9F\x98\x80!", 4, {0, 2}},       // an emoji: four bytes, two units
      {"\xFF" "a", 1, {0, 1}},                // a byte that is no UTF-8: one unit
      {"ab\ncd", 99, {1, 2}},                  // past the end: the end
  };
  for (const Case& c : cases) {
    const LineIndex index(c.text);
    const Position position = index.positionOf(c.offset);
    EXPECT_EQ(position.line, c.position.line) << c.text;
    EXPECT_EQ(position.character, c.position.character) << c.text;
    EXPECT_EQ(index.offsetOf(c.position), std::min(c.offset, c.text.size())) << c.text;
  }
  // A unit inside a surrogate pair is the character's first byte; a
  // character past the line's end is the line's end.
  const LineIndex index("\xF0\x9F\x98\x80!\nz");
  EXPECT_EQ(index.offsetOf({0, 1}), 0u);
  EXPECT_EQ(index.offsetOf({0, 40}), 5u);
  EXPECT_EQ(index.offsetOf({5, 0}), 7u);
}

}  // namespace
}  // namespace brindle::lsp
