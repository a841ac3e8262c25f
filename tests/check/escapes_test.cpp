// The escapes only Lua 5.1 reads are marked, and nothing else is.
#include "escapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::check {
namespace {

TEST(MarkEscapesTest, MarksWhatNewerLuasRefuseAndNothingElse) {
  struct Case {
    const char* name;
    std::string text;
    std::string marked;  // empty: nothing to mark
  };
  const std::vector<Case> cases = {
      {"escapes every Lua reads", R"(e "\a\b\f\n\r\t\v\\\"\'\65\x41\u{48}\z")", ""},
      {"an escape only 5.1 reads", R"(e "50\%")", R"(e "50\999%")"},
      {"a backslash escaped is no escape", R"(e "a\\%")", ""},
      {"hex escapes need two digits", R"(e "\x4" "\x4g" "\x41")", R"(e "\999x4" "\999x4g" "\x41")"},
      {"code points up to 10FFFF in braces", R"(e "\u{10FFFF}" "\u{110000}" "\u48" "\u{}")",
       R"(e "\u{10FFFF}" "\999u{110000}" "\999u48" "\999u{}")"},
      {"a backslash ending the text", "e \"a\\", ""},
      {"several on a line and after a line feed", "e \"\\q\\w\"\nf \"\\e\"",
       "e \"\\999q\\999w\"\nf \"\\999e\""},
  };
  for (const Case& c : cases) {
    std::string marked;
    std::vector<std::size_t> marks;
    const bool any = markEscapesNewerLuasRefuse(c.text, marked, marks);
    EXPECT_EQ(any, !c.marked.empty()) << c.name;
    if (!any) continue;
    EXPECT_EQ(marked, c.marked) << c.name;
    for (const std::size_t at : marks) {
      EXPECT_EQ(marked.substr(at, 4), "\\999") << c.name << " at " << at;
    }
  }
}

}  // namespace
}  // namespace brindle::check
