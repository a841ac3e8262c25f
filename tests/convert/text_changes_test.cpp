// The quoted texts a conversion changes: each rule that can act inside
// quotes is named, with the text before and after, and lines whose quoted
// texts come out the same are not reported.
#include "text_changes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parts.h"

namespace brindle {
namespace {

// The text-change warnings of `statement`, the one statement of a label.
std::vector<std::string> changesOf(const std::string& statement, std::size_t* count = nullptr) {
  ConvertOptions options;
  options.describeTextChanges = true;
  Conversion result;
  convertInParts("label a:\n" + statement + "\n", result, {}, options);
  std::vector<std::string> messages;
  for (const Warning& warning : result.warnings) {
    if (warning.kind == WarningKind::textChange) messages.push_back(warning.message);
  }
  if (count) *count = result.textChanges;
  return messages;
}

TEST(TextChangesTest, NamesEachRuleThatActsInsideQuotes) {
  struct Case {
    std::string statement;
    std::string message;  // empty: nothing to report
  };
  const std::vector<Case> cases = {
      {R"x(e "don't call it")x",
       R"x(the conversion changes "don't call it" to "don't it" (the first "call " of a line is removed))x"},
      {R"x(e 'a (b)')x", R"x(the conversion changes "a (b)" to "a(b)" (" (" becomes "("))x"},
      {R"x(e "True love, or False?")x",
       R"x(the conversion changes "True love, or False?" to "true love, or false?" ("True" becomes "true"; "False" becomes "false"))x"},
      {R"x(e "is_h=True")x", R"x(the conversion changes "is_h=True" to "true" ("is_h=True" becomes "true"))x"},
      {"e \"a    b\"", "the conversion changes \"a    b\" to \"a\tb\" (four blanks become a tab)"},
      {R"x(e "x+=1")x",
       R"x(the conversion changes "x+=1" to "x+= 1" (a blank is put behind every "+=" and "-="))x"},
      {R"x(e "cost: $5")x", R"x(the conversion changes "cost: $5" to "cost: 5" (the first "$" of a line is removed))x"},
      {R"x(if name == "a:b":)x",
       R"x(the conversion changes "a:b" to "a thenb" (every ":" of an if line becomes " then"))x"},
      {R"x(else: "a:b")x", R"x(the conversion changes "a:b" to "ab" (every ":" of an elif or else: line is removed))x"},
      {R"x(elif x == "elif":)x",
       R"x(the conversion changes "elif" to "elseif" ("elif" becomes "elseif" and " then" ends an elif line))x"},
      {R"x(jump_out end "the end")x",
       R"x(the conversion changes "the end" to "the ("end")" (a jump_out's target is put in ("...") wherever it stands in its line))x"},
      {R"x($ x += "+=")x",
       R"x(the conversion changes "+=" to "= x + " (a blank is put behind every "+=" and "-="; "+=" and "-=" of an update are written out))x"},
      {R"x(e "path_end;")x", R"x(the conversion changes "path_end;" to "path_end();" ("path_end;" becomes "path_end();"))x"},
      {R"x(e "a" "b call c")x",
       R"x(the conversion changes "b call c" to "b c" (the first "call " of a line is removed))x"},
      // Nothing changes inside the quotes.
      {R"x($ price = "$5")x", ""},
      {R"x(e "Call me")x", ""},
      {R"x(e "calling")x", ""},
      {R"x(call show ("x"))x", ""},
      {R"x(e "a\"call " b)x", R"x(the conversion changes "a\"call " to "a\"" (the first "call " of a line is removed))x"},
      {R"x(if x: "unclosed)x", ""},
      {R"x(e no quotes call here)x", ""},
  };
  for (const Case& c : cases) {
    std::size_t count = 0;
    const std::vector<std::string> messages = changesOf(c.statement, &count);
    if (c.message.empty()) {
      EXPECT_TRUE(messages.empty()) << c.statement << ": " << (messages.empty() ? "" : messages[0]);
      EXPECT_EQ(count, 0u) << c.statement;
    } else {
      EXPECT_EQ(messages, std::vector<std::string>{c.message}) << c.statement;
      EXPECT_EQ(count, 1u) << c.statement;
    }
  }
}

}  // namespace
}  // namespace brindle
