#include "string_utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plain_forms.h"

namespace brindle {
namespace {

struct ReplaceCase {
  std::string text, from, to, expected;
};

TEST(ReplaceAllTest, ReplacesNonOverlappingOccurrencesLeftToRight) {
  const std::vector<ReplaceCase> cases = {
      {"a+=b+=c", "+=", "+= ", "a+= b+= c"},  // replacement holds its own search text
      {"aaa", "aa", "b", "ba"},
      {"aaaa", "aa", "b", "bb"},
      {"aabb", "ab", "", "ab"},  // occurrence formed by the removal stays
      {"a::b:", ":", "", "ab"},
      {"abc", "x", "y", "abc"},
      {"IsTrue True", "True", "true", "Istrue true"},
      {"        x", "    ", "\t", "\t\tx"},
      {"      x", "    ", "\t", "\t  x"},
      {"x", "x", "(\"x\")", "(\"x\")"},
      {"", "a", "b", ""},
      {"abc", "", "zz", "abc"},  // an empty search text changes nothing
      {std::string("a\0b\0", 4), std::string("\0", 1), "0", "a0b0"},
  };
  for (const ReplaceCase& c : cases) {
    std::string text = c.text;
    replaceAll(text, c.from, c.to);
    EXPECT_EQ(text, c.expected) << "replaceAll(\"" << c.text << "\", \"" << c.from << "\")";
  }
}

TEST(FindTextTest, FindsWhatAPlainSearchFinds) {
  // Texts short and long against needles short and long, at every start, so
  // that every way of cutting a text into windows is taken.
  std::uint64_t state = 1;
  const auto below = [&state](std::size_t bound) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::size_t>((state >> 33) % bound);
  };
  for (int round = 0; round < 3000; ++round) {
    std::string text(below(200), 'a');
    for (char& c : text) c = "ab;p"[below(4)];
    std::string what(1 + below(90), 'a');
    for (char& c : what) c = "ab;p"[below(4)];
    if (below(2) == 0 && what.size() <= text.size()) {
      text.replace(below(text.size() - what.size() + 1), what.size(), what);
    }
    for (std::size_t from = 0; from <= text.size() + 1; ++from) {
      const std::string_view view(text);
      const std::size_t expected = from <= text.size() ? view.find(what, from) : std::string_view::npos;
      ASSERT_EQ(findText(text, what, from), expected)
          << "text " << text << " what " << what << " from " << from;
    }
  }
  EXPECT_EQ(findText("abc", ""), std::string_view::npos);
}

TEST(FindLastByteTest, FindsWhatRfindFinds) {
  // Every length around a word's, the byte at every place or nowhere, and
  // bytes that differ from it in one bit.
  for (std::size_t size = 0; size < 40; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {
      std::string text(size, '%');  // '%' is '$' with one more bit
      if (at < size) text[at] = '$';
      if (size > 2) text[size / 3] = '\xA4';
      const std::size_t expected = std::string_view(text).rfind('$');
      ASSERT_EQ(findLastByte(text, '$'), expected) << size << " " << at;
      ASSERT_EQ(findLastByteWordByWord(text, '$'), expected) << size << " " << at;
    }
  }
  EXPECT_EQ(findLastByte(std::string_view(), '$'), std::string_view::npos);
  EXPECT_EQ(findLastByteWordByWord(std::string_view(), '$'), std::string_view::npos);
}

TEST(EraseFirstTest, RemovesOnlyTheFirstOccurrence) {
  const std::vector<std::vector<std::string>> cases = {
      // text, what, expected
      {"$x$y", "$", "x$y"},
      {"xy", "$", "xy"},
      {"$x", "", "$x"},
      {"recall it", "call ", "reit"},
      {"call a; call b", "call ", "a; call b"},
  };
  for (const auto& c : cases) {
    std::string text = c[0];
    eraseFirst(text, c[1]);
    EXPECT_EQ(text, c[2]) << "eraseFirst(\"" << c[0] << "\", \"" << c[1] << "\")";
  }
}

TEST(SplitOnTest, KeepsEmptyPiecesAndStripsWhitespace) {
  struct Case {
    std::string text;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"label start:", {"label", "start:"}},
      {"a  b", {"a", "", "b"}},
      {" a", {"", "a"}},
      {"a ", {"a", ""}},
      {"", {""}},
      {"abc", {"abc"}},
      {"\t\tif x == 1:", {"if", "x", "==", "1:"}},
      {"a\tb c", {"ab", "c"}},
      {"a\v\f\r\nb", {"ab"}},
      {"\xC2\xA0x \x85", {"\xC2\xA0x", "\x85"}},  // high bytes are never whitespace
  };
  for (const Case& c : cases) {
    std::vector<std::string> pieces;
    EXPECT_EQ(splitOn(c.text, pieces, ' '), c.expected.size());
    EXPECT_EQ(pieces, c.expected) << "splitOn(\"" << c.text << "\")";
  }
}

TEST(SplitOnTest, ReplacesWhatTheListHeldAndKeepsOtherSeparators) {
  std::vector<std::string> pieces = {"old", "older", "oldest", "more"};
  splitOn("x y", pieces, ' ');
  EXPECT_EQ(pieces, (std::vector<std::string>{"x", "y"}));
  splitOn("a:b", pieces, ':');  // a separator that is not whitespace stays in its piece
  EXPECT_EQ(pieces, (std::vector<std::string>{"a:", "b"}));
}

TEST(RepeatStringTest, RepeatsOrGivesNothing) {
  EXPECT_EQ(repeatString("\t", 3), "\t\t\t");
  EXPECT_EQ(repeatString("ab", 2), "abab");
  EXPECT_EQ(repeatString("\t", 0), "");
  EXPECT_EQ(repeatString("\t", -2), "");
}

}  // namespace
}  // namespace brindle
