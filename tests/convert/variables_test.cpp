// The variables of a script: recorded once each in first-seen order, and
// found ahead of the conversion exactly as reading the script finds them.
#include "variables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plain_forms.h"
#include "generated_lines.h"

namespace brindle {
namespace {

std::vector<std::string> namesOf(const NameTable& variableNames) {
  std::vector<std::string> names;
  for (std::size_t k = 0; k < nameCount(variableNames); ++k) {
    names.emplace_back(nameAt(variableNames, k));
  }
  return names;
}

TEST(VariableNamesTest, RecordsEachNameOnceInFirstSeenOrder) {
  const Script script = readScript(
      "label start:\n$ money += 10\n$ seen = True\n$ money -= 2\n$x = 1\n$\n$  y = 2\n$ Seen = 1\n");
  EXPECT_EQ(namesOf(script.variableNames), (std::vector<std::string>{"money", "seen", "Seen"}));

  // Many names, so that the table grows several times, and each again.
  NameTable many;
  std::vector<std::string> expected;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 5000; ++i) {
      const std::string name = std::string("v").append(std::to_string(i * 7919 % 5000));
      addVariable(many, name);
      if (round == 0) expected.push_back(name);
    }
  }
  addVariable(many, "");
  EXPECT_EQ(namesOf(many), expected);

  NameTable merged;
  addVariable(merged, "v4");
  addVariable(merged, "w");
  addVariables(merged, many);
  EXPECT_EQ(namesOf(merged).size(), 5001u);
  EXPECT_EQ(namesOf(merged)[2], expected[0]);
}

TEST(FindVariablesTest, FindsWhatReadingTheScriptFinds) {
  std::vector<std::string> inputs = {
      "$ a = 1\n$ b = 2\n$ a = 3",
      "e \"$5 for the $ sign\"\n$x = 1\nx $ y\n",
      "    $ indented = 1\n\t$ tabbed = 2\n  $ two = 3\n$\tjoined = 4\n",
      "label a:\n$ first\r\n$ crlf\r\n$ last\r",
      "$\n$ \n$  \n$ $ $\n$$ no\n",
      "x\n\n$ one $ two\n$ three",
      "$ a+=1\n$ b -= 2\n$ c+=3\n",
      "$     five\n     $ indented_five\n$ v\vt\n$ é = 1\n        $ x y",
      "$ joined    .add(x)\n$ kept   = 1\n$ tab\t= 2\n$ four    \n",
  };
  test::LineMaker maker(29);
  for (int i = 0; i < 200; ++i) inputs.push_back(maker.script(maker.below(40)));
  for (const std::string& input : inputs) {
    EXPECT_EQ(namesOf(findVariables(input)), namesOf(readScript(input).variableNames))
        << "input: " << input;
  }
}

}  // namespace
}  // namespace brindle
