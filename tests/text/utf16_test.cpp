#include "utf16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle {
namespace {

// The bytes of `units` in the byte order given.
std::string bytesOf(std::u16string_view units, bool bigEndian) {
  std::string bytes;
  for (const char16_t unit : units) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(DecodeUtf16Test, DecodesBothByteOrdersAndNamesTheLineOfAFault) {
  struct Case {
    const char* name;
    std::u16string units;
    std::string utf8;
    Utf16Fault fault;
    std::size_t line;
  };
  const std::vector<Case> cases = {
      {"empty", u"", "", Utf16Fault::none, 0},
      {"lines", u"label a:\r\n\tx\n", "label a:\r\n\tx\n", Utf16Fault::none, 0},
      {"two and three bytes", u"\u00e9\u3053\uffff", "\xC3\xA9\xE3\x81\x93\xEF\xBF\xBF",
       Utf16Fault::none, 0},
      {"NUL", std::u16string(1, u'\0'), std::string(1, '\0'), Utf16Fault::none, 0},
      {"surrogate pair", u"x\U0001F600\U0010FFFF", "x\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
       Utf16Fault::none, 0},
      {"high surrogate at the end", u"a\nb\n\xD83D", "", Utf16Fault::unpairedSurrogate, 3},
      {"high surrogate before a letter", u"\xD83Dx\n", "", Utf16Fault::unpairedSurrogate, 1},
      {"two high surrogates", u"\n\xD83D\xD83D\xDE00", "", Utf16Fault::unpairedSurrogate, 2},
      {"low surrogate alone", u"a\n\n\xDE00", "", Utf16Fault::unpairedSurrogate, 3},
  };
  for (const Case& c : cases) {
    for (const bool bigEndian : {false, true}) {
      std::string utf8 = "left over";
      const Utf16Decoding decoding = decodeUtf16(bytesOf(c.units, bigEndian), bigEndian, utf8);
      EXPECT_EQ(utf8, c.utf8) << c.name << (bigEndian ? ", big-endian" : "");
      EXPECT_EQ(decoding.fault, c.fault) << c.name;
      EXPECT_EQ(decoding.line, c.line) << c.name;
    }
  }
  std::string utf8;
  const Utf16Decoding odd = decodeUtf16(bytesOf(u"a\nb", false) + "c", false, utf8);
  EXPECT_EQ(odd.fault, Utf16Fault::oddLength);
  EXPECT_EQ(odd.line, 2u);
}

TEST(LooksLikeUtf16Test, WantsANulInEverySecondByteOfTheFirstLineWithText) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {bytesOf(u"label a:\nx", false), true},
      {bytesOf(u"label a:\nx", true), true},
      {bytesOf(u"\r\n\nlabel a:", false), true},   // empty lines before it count in
      {bytesOf(u"label a:\n\u3053", false), true},  // only the first line is looked at
      {bytesOf(u"label \u3053:\n", false), false},
      {"label a:\n", false},
      {std::string(8, '\0') + "\n", false},  // NULs, but no text
      {bytesOf(u"\n\n", false), false},
      {bytesOf(u"a", false), false},  // one unit is too little to tell
  };
  for (const auto& [bytes, expected] : cases) {
    EXPECT_EQ(looksLikeUtf16(bytes), expected) << testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace brindle
